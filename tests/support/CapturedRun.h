#pragma once
// Runs a program as a child process with given standard input, capturing its standard output
// and standard error, for tests of command-line programs.

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace TestSupport {

struct TCapturedRun {
    int ExitCode = -1;  // the full exit code (POSIX: 0-255; 128 + signal when killed)
    std::string Out;
    std::string Err;
};

using TEnvironmentOverrides = std::vector<std::pair<std::string, std::string>>;

// Runs program with args (UTF-8), feeding input on standard input. env adds or replaces
// environment variables of the child.
TCapturedRun RunCaptured(const std::filesystem::path& program, const std::vector<std::string>& args,
                         std::string_view input = {}, const TEnvironmentOverrides& env = {});

// A program of the build beside the test program (".exe" added on Windows).
std::filesystem::path BuiltProgram(std::string_view name);

}  // namespace TestSupport
