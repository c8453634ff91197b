#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Starting another program and waiting for its end, as a launching program starts the dialer.

// How the program ended.
struct TProgramEnd {
    enum class TKind {
        Exited,     // Status: Windows all 32 bits (GetExitCodeProcess), POSIX the 8 bits the parent sees
        Signalled,  // POSIX only: Status is the number of the signal that ended it
        TimedOut,   // it ran past the timeout and was ended, with everything it had started
        Lost,       // POSIX only: it ended, but another waiter of the caller's process took its status
    };
    TKind Kind = TKind::Exited;
    std::uint32_t Status = 0;
};

// The file name extension of programs: ".exe" on Windows, empty on POSIX.
extern const std::u16string_view ProgramExtension;

// How RunProgram waits.
struct TRunOptions {
    std::chrono::milliseconds Timeout{0};
    // Asked every few tens of milliseconds while the program runs; true ends it as at a timeout.
    std::function<bool()> StopNow;
    // POSIX: while the program runs, a SIGINT, SIGTERM or SIGHUP that ends the caller ends the
    // program's group first. A program sets this; a library leaves it off, since the signal
    // handlers belong to its host and several of its callers may wait at once.
    bool ForwardSignals = true;
};

// Runs the program (a path) with the arguments and waits at most options.Timeout for its end.
// It inherits the environment; it gets no standard input, and what it writes to standard output
// or standard error goes to the caller's standard error, so the caller's own output stays its own.
// Raises EOSError when the program cannot be started.
//
// A program that is ended is ended with everything it started, since what it started may carry
// its secrets (the RAS layer's connect command holds the password in its environment) and finish
// its work after the caller said it was stopped. A program that ends by itself, whatever its
// status, leaves what it started alone: that may be the connection.
// POSIX: the program leads a process group of its own. The group is killed with SIGKILL at the
// timeout, when the program dies of a signal, and when a SIGINT, SIGTERM or SIGHUP ends the caller
// while it waits; the caller then waits until no process of the group runs. On Linux the program
// also gets SIGHUP (ParentDeathSignal) when the caller's thread ends in any other way (SIGKILL
// included), upon which the dialer ends its group (platform/ProgramSignals.h); and it is started
// without an exit signal, so that a caller's SIGCHLD handling (SIG_IGN, or a handler reaping with
// waitpid(-1)) neither reaps it nor takes its status. The program starts with no blocked signal
// and with SIGHUP, SIGPIPE, SIGCHLD and SIGXFSZ at their defaults whatever the caller ignores. A
// process that leaves the group (setsid, setpgid) is out of reach.
// Windows: the program runs in a job object that it cannot leave and that ends every process in
// it when the job is closed, also when the caller dies; the job is closed when RunProgram
// returns, so nothing the program started outlives this call.
TProgramEnd RunProgram(const std::u16string& program, const std::vector<std::u16string>& args,
                       const TRunOptions& options);
