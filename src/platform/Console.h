#pragma once
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "core/Bytes.h"

// Console facts for command-line programs.

// Whether the stream is attached to a terminal (progress output is meant for people only);
// false when that cannot be told. Never raises.
bool IsTerminal(std::FILE* stream);
// Switches a standard stream to binary mode, so bytes pass unchanged (no CR LF translation).
// Nothing to do on POSIX; never raises.
void SetBinaryMode(std::FILE* stream);

// Writes UTF-8 text to a standard stream. Windows: a stream that is a console (GetConsoleMode
// succeeds) gets the text as UTF-16 through WriteConsoleW, so it reads right whatever the
// console's code page; a redirected stream gets the UTF-8 bytes. POSIX: always the bytes.
// Never raises: a failed write shows in the stream's error flag (std::ferror), as for fwrite.
void WriteStreamText(std::FILE* stream, std::string_view utf8);

// What was typed at a console on the stream, read through ReadConsoleW up to a Ctrl+Z or the
// end, as UTF-16LE bytes behind their byte-order mark; nothing when the stream is not a console
// (always on POSIX). Raises EOSError when the console cannot be read.
std::optional<TSecureBytes> ReadConsoleText(std::FILE* stream);

// The console calls the two operations above rest on. No console can be attached where tests
// run, so a test may put its own in place; nothing outside the process can.
struct TConsoleCalls {
    bool (*IsConsole)(std::FILE* stream);
    // Writes all of the text; false when the console refused.
    bool (*Write)(std::FILE* stream, std::u16string_view text);
    // Reads up to size characters: how many were read, 0 at the end, -1 on failure.
    std::int64_t (*Read)(std::FILE* stream, char16_t* buffer, std::size_t size);
};
// The system's calls: the default.
TConsoleCalls SystemConsoleCalls();
// Puts calls in place for a test and gives back those they replace. Never raises.
TConsoleCalls SetConsoleCallsForTesting(const TConsoleCalls& calls);
