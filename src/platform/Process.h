#pragma once
#include <optional>
#include <string>
#include <string_view>

// windows.h maps this name onto its own wide or narrow function; ours is a different one.
#ifdef GetEnvironmentVariable
#undef GetEnvironmentVariable
#endif

// Facts of the running process.

// POSIX programs hand their arguments over at start (UTF-8, converted lossily); without that the
// process's own command line is read. Windows always reads its own command line.
void SetCommandLine(int argc, char** argv);

// Command-line argument index; 0 is the running executable's full path. An index beyond the
// last (or below 0) gives empty text. Never raises but std::bad_alloc.
std::u16string ParamStr(int index);
// Full path of the running executable. Raises EOSError when the system cannot tell it.
std::u16string ExecutablePath();
// An environment variable, or nothing when it is not set. Never raises but std::bad_alloc.
std::optional<std::u16string> GetEnvironmentVariable(std::u16string_view name);
