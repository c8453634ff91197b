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
        Lost,       // POSIX only: it ran, but its end could not be learnt (the keeper below was killed)
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
// POSIX: the program leads a process group of its own. It is started and waited for by a keeper,
// a copy of the caller that reports the program's end through a pipe, so that the caller's
// SIGCHLD handling (SIG_IGN, a handler reaping with waitpid(-1), even a waiter for every kind of
// child) neither reaps the program nor takes its status, and nothing the program leaves behind
// becomes the caller's child. The group is killed with SIGKILL at the timeout, when the program
// dies of a signal, when a SIGINT, SIGTERM or SIGHUP ends the caller while it waits, and on Linux
// when the caller's thread ends in any other way (SIGKILL included: the keeper's parent-death
// signal); the caller then waits until no process of the group runs. Should the keeper itself be
// killed, the program gets ParentDeathSignal, upon which the dialer ends its group
// (platform/ProgramSignals.h). The program starts with no blocked signal and with SIGHUP, SIGPIPE,
// SIGCHLD and SIGXFSZ at their defaults whatever the caller ignores. A process that leaves the
// group (setsid, setpgid) is out of reach.
// Windows: the program runs in a job object that it cannot leave and that ends every process in
// it when the job is closed, also when the caller dies; the job is closed when RunProgram
// returns, so nothing the program started outlives this call.
TProgramEnd RunProgram(const std::u16string& program, const std::vector<std::u16string>& args,
                       const TRunOptions& options);
