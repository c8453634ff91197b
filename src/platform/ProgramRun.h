#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Starting another program and waiting for its end, as a launching program starts the dialer.

// How the program ended.
struct TProgramEnd {
    enum class TKind {
        Exited,     // Status: Windows all 32 bits (GetExitCodeProcess), POSIX the 8 bits the parent sees
        Signalled,  // POSIX only: Status is the number of the signal that ended it
        TimedOut,   // it ran past the timeout and was ended (TerminateProcess, SIGKILL)
    };
    TKind Kind = TKind::Exited;
    std::uint32_t Status = 0;
};

// The file name extension of programs: ".exe" on Windows, empty on POSIX.
extern const std::u16string_view ProgramExtension;

// Runs the program (a path) with the arguments and waits at most timeoutSeconds for its end.
// It inherits the environment; it gets no standard input, and what it writes to standard output
// goes to the caller's standard error, so the caller's own output stays its own. Raises EOSError
// when the program cannot be started.
TProgramEnd RunProgram(const std::u16string& program, const std::vector<std::u16string>& args,
                       std::uint32_t timeoutSeconds);
