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

// Overwrites every argument after argument 0 in the process's own command line, where other
// processes read it, with as many placeholder characters, and wipes the copies the process keeps:
// on Windows the process parameters' command line (which GetCommandLineW returns too), the ANSI
// copy and the C runtime's copies; on POSIX the argv memory handed to SetCommandLine (what
// /proc/PID/cmdline shows) and this unit's copies. ParamStr reads the placeholders afterwards.
// For an argument that must not stay readable (a parameter block) once it has been read; a
// reader that came earlier has seen it. Never raises.
void OverwriteArguments() noexcept;
inline constexpr char16_t ArgumentPlaceholder = u'*';

// Command-line argument index; 0 is the running executable's full path. An index beyond the
// last (or below 0) gives empty text. Never raises but std::bad_alloc.
std::u16string ParamStr(int index);
// Full path of the running executable. Raises EOSError when the system cannot tell it.
std::u16string ExecutablePath();
// An environment variable, or nothing when it is not set. Never raises but std::bad_alloc.
std::optional<std::u16string> GetEnvironmentVariable(std::u16string_view name);
