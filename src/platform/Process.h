#pragma once
#include <optional>
#include <string>
#include <string_view>

// Facts of the running process.

// POSIX programs hand their arguments over at start; Windows reads its own command line.
void SetCommandLine(int argc, char** argv);

// Command-line argument index (0 is the program); an index beyond the last gives empty text.
std::u16string ParamStr(int index);
// Full path of the running executable.
std::u16string ExecutablePath();
// An environment variable, or nothing when it is not set.
std::optional<std::u16string> GetEnvironmentVariable(std::u16string_view name);
