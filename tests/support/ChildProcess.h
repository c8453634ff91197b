#pragma once
// Runs a program as a child process, the way a launching program starts the dialer: arguments,
// an adjusted environment, wait for the end, the exit status as the parent receives it.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace TestSupport {

// Variables (UTF-8) to set in the child's environment, or to remove from it (no value).
using TEnvironmentChanges = std::vector<std::pair<std::string, std::optional<std::string>>>;

struct TChildExit {
    // Windows: all 32 bits of GetExitCodeProcess. POSIX: the low 8 bits the parent sees, or
    // 128 + the signal's number when a signal ended the child.
    std::uint32_t Status = 0;
    // Everything the child wrote to its standard output and error.
    std::string Output;
};

// Starts program (a path; natively a bare name is looked up in PATH) with args (UTF-8) and waits.
// Raises std::runtime_error when the child cannot be started.
TChildExit RunChild(const std::filesystem::path& program, const std::vector<std::string>& args,
                    const TEnvironmentChanges& environment = {});

// A run of a command-line program: what it read on standard input is given, what it wrote on
// standard output and standard error is kept apart.
struct TCapturedRun {
    int ExitCode = 0;  // as TChildExit::Status
    std::string Out;
    std::string Err;
};

TCapturedRun RunCaptured(const std::filesystem::path& program, const std::vector<std::string>& args,
                         std::string_view input = {}, const TEnvironmentChanges& environment = {});

// Whether the process of that id still runs. Natively a zombie no longer runs. On Windows a
// process that is being ended is given up to 30 s to end (ending a job's processes is not
// waited for by whoever ends it).
bool ProcessRuns(unsigned long id);

// The parent of a running process, or nothing when it does not run.
std::optional<unsigned long> ParentOf(unsigned long id);
// The process among the ancestors of id (itself included) whose parent is this process.
std::optional<unsigned long> ChildAbove(unsigned long id);
// Ends the process at once, as a crash or an administrator would: SIGKILL, TerminateProcess.
void KillProcess(unsigned long id);

#ifndef _WIN32
// The ids of the running processes whose environment holds the entry ("NAME=value"), this one
// aside: what /proc/PID/environ shows any process of the same user.
std::vector<unsigned long> ProcessesWithEnvironmentEntry(std::string_view entry);
// The process group of a running process, or nothing when it does not run.
std::optional<unsigned long> ProcessGroupOf(unsigned long id);
// The running processes of a process group.
std::vector<unsigned long> ProcessesOfGroup(unsigned long group);
// The ids of the running processes whose command line (/proc/PID/cmdline) holds the text, this
// one aside.
std::vector<unsigned long> ProcessesWithCommandLineHolding(std::string_view text);
// The children of this process that have ended and wait to be reaped.
std::vector<unsigned long> ZombieChildren();
#endif

// Asks the condition every few milliseconds until it holds or the seconds have passed; whether it
// held. For what another process does at its own pace after the test has acted.
bool EventuallyTrue(const std::function<bool()>& condition, int seconds);

// What became of the hanging program (tools/HangingProgram) and the copy it started, from the
// ids it wrote: whether neither runs within the seconds given, the failure naming what still runs
// or what is missing. Nothing when it had not written the file, which a test that could not wait
// for it skips on.
std::optional<::testing::AssertionResult> HangingProgramAndCopyEnded(const std::filesystem::path& ids, int seconds = 0);

// The process ids a program wrote to the file, separated by white space (the hanging program
// writes its own and its copy's).
std::vector<unsigned long> ProcessIdsInFile(const std::filesystem::path& file);

// A program of the build beside the test program (".exe" added on Windows).
std::filesystem::path BuiltProgram(std::string_view name);

}  // namespace TestSupport
