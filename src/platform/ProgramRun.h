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
// Raises EOSError when the program cannot be started, or when waiting for it fails (it is then
// ended as at a timeout).
//
// A program that is ended is ended with everything it started, since what it started may carry
// its secrets (the RAS layer's connect command holds the password in its environment) and finish
// its work after the caller said it was stopped. POSIX: the program leads a process group of its
// own, killed as a group with SIGKILL; the caller then waits until no process of the group is
// left (on Linux it adopts the group's orphans to wait for them). A process that leaves the group
// (setsid, setpgid) is out of reach. A SIGINT, SIGTERM or SIGHUP that ends the caller while it
// waits ends the group first. Windows: the program runs in a job object that it cannot leave and
// that ends every process in it when the job is closed, also when the caller dies; the job is
// closed when RunProgram returns, so nothing the program started outlives this call.
TProgramEnd RunProgram(const std::u16string& program, const std::vector<std::u16string>& args,
                       const TRunOptions& options);
