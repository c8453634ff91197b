#pragma once
// The meaning of a dialer exit status, as explain and dial print it.

#include <cstdint>
#include <optional>
#include <string>

struct TStatusMeaning {
    std::u16string Text;
    // Where the text comes from: "dialer" (the dialer's own statuses), "system" (the Remote Access
    // Service of this installation), "table" (this tool's own words) or "unknown".
    std::string Source;
    bool Known() const { return Source != "unknown"; }
};

// The meaning of a dial result (a Windows exit status, all 32 bits). Never fails: a code no one
// knows has Source "unknown".
TStatusMeaning DialResultMeaning(std::uint32_t result);

// A status as a POSIX parent receives it from the POSIX dialer: the dial result it stands for
// where the mapping can be read back, and its meaning.
struct TPosixStatusMeaning {
    std::optional<std::uint32_t> DialResult;
    TStatusMeaning Meaning;
};
TPosixStatusMeaning PosixStatusMeaning(int status);
