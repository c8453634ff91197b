#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Small text helpers shared by the units. Texts are UTF-16 throughout. None of them fails but
// for memory (std::bad_alloc).

// Decimal form of a signed number: no blanks, no leading zeros, a minus sign when negative.
std::u16string IntToStr(std::int64_t value);

// Lower-case hexadecimal digits of the bytes, two a byte.
std::u16string LowerHex(std::span<const std::uint8_t> bytes);

// Widens 8-bit ASCII text (base64, digits) to UTF-16, one character per byte.
std::u16string WidenAscii(std::string_view text);

// UTF-16 to UTF-8 for messages and diagnostics. Lossy: an unpaired surrogate becomes U+FFFD, so
// the result does not always convert back to the same text.
std::string ToUtf8Lossy(std::u16string_view text);

// UTF-8 to UTF-16 for literals and diagnostics. Lossy: a broken sequence (a lead byte with the
// continuation bytes that follow it, up to its length) becomes one U+FFFD, so C0 80 gives one;
// the 65001 code page decodes such bytes by maximal subparts instead (platform/CodePage.h).
std::u16string FromUtf8Lossy(std::string_view text);
