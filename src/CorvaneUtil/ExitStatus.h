#pragma once
// The dialer's exit status as a launching program receives it. The dialer sends it and the
// launching side (the corvane tool, the C interface) reads it: like the parameter block, it lies
// below both.
//
// On Windows the launching program reads all 32 bits of the dial result (GetExitCodeProcess). A
// POSIX parent receives only 8 bits, and the low 8 bits of a dial result would mislead it: a
// multiple of 256 would arrive as 0 (success), and 651 would arrive as 139, which a shell reads as
// a death by SIGSEGV. So the POSIX build maps the result onto 0..125, where 0 means only success
// and the shell's own meanings (126 and above) are never used:
//
//   dial result        arrives as
//   0                  0
//   601..699           1..99      (result - 600)
//   800..819           100..119   (result - 700)
//   87                 120
//   9999               121
//   anything else      125        (the code cannot be read back)
//
// The two RAS ranges hold the service's dial and VPN failures (authentication refused, no such
// entry, server unreachable, tunnel type refused); each value of them can be read back exactly.

#include <cstdint>
#include <optional>

// The status when no dial result was reached; the error log says why.
inline constexpr std::uint32_t NoDialResult = 9999;

// Windows' ERROR_INVALID_PARAMETER, the result of a dial refused before the service is asked
// because a text does not fit its record field.
inline constexpr std::uint32_t ErrorInvalidParameter = 87;

// The POSIX arrival value of a result that cannot be read back.
inline constexpr int PosixOtherFailure = 125;

constexpr int PosixExitStatus(std::uint32_t dialResult) noexcept
{
    if (dialResult == 0)
        return 0;
    if (dialResult >= 601 && dialResult <= 699)
        return static_cast<int>(dialResult - 600);
    if (dialResult >= 800 && dialResult <= 819)
        return static_cast<int>(dialResult - 700);
    if (dialResult == ErrorInvalidParameter)
        return 120;
    if (dialResult == NoDialResult)
        return 121;
    return PosixOtherFailure;
}

// The dial result a POSIX arrival value stands for, or nothing when it cannot be read back (125,
// or a value the dialer never sends).
constexpr std::optional<std::uint32_t> DialResultOfPosixExitStatus(int status) noexcept
{
    if (status == 0)
        return 0u;
    if (status >= 1 && status <= 99)
        return static_cast<std::uint32_t>(status) + 600;
    if (status >= 100 && status <= 119)
        return static_cast<std::uint32_t>(status) + 700;
    if (status == 120)
        return ErrorInvalidParameter;
    if (status == 121)
        return NoDialResult;
    return std::nullopt;
}
