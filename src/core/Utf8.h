#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

// UTF-8 and UTF-16 code units to and from code points: the pieces every converter of ours is
// built from, so that surrogate pairing, overlong forms and the range end are decided in one
// place. Nothing here allocates but the output containers' appends, and nothing fails but those.

inline bool IsHighSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

inline bool IsLowSurrogate(char32_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

inline bool IsSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDFFF;
}

// The code point at text[i], a surrogate pair taken as one; i moves past it. A lone surrogate
// is returned as it stands: the caller decides what becomes of it.
inline char32_t NextCodePoint(std::u16string_view text, std::size_t& i)
{
    const char32_t c = text[i++];
    if (IsHighSurrogate(c) && i < text.size() && IsLowSurrogate(text[i]))
        return 0x10000 + ((c - 0xD800) << 10) + (text[i++] - 0xDC00);
    return c;
}

// Appends c (at most U+10FFFF, not a surrogate) to UTF-16 text.
template <typename Text>
void AppendUtf16(Text& text, char32_t c)
{
    if (c >= 0x10000) {
        c -= 0x10000;
        text.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        text.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
        text.push_back(static_cast<char16_t>(c));
    }
}

// Appends c (at most U+10FFFF) as UTF-8 to a container of 8-bit units.
template <typename Bytes>
void AppendUtf8(Bytes& bytes, char32_t c)
{
    using TUnit = typename Bytes::value_type;
    if (c < 0x80) {
        bytes.push_back(static_cast<TUnit>(c));
    } else if (c < 0x800) {
        bytes.push_back(static_cast<TUnit>(0xC0 | (c >> 6)));
        bytes.push_back(static_cast<TUnit>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        bytes.push_back(static_cast<TUnit>(0xE0 | (c >> 12)));
        bytes.push_back(static_cast<TUnit>(0x80 | ((c >> 6) & 0x3F)));
        bytes.push_back(static_cast<TUnit>(0x80 | (c & 0x3F)));
    } else {
        bytes.push_back(static_cast<TUnit>(0xF0 | (c >> 18)));
        bytes.push_back(static_cast<TUnit>(0x80 | ((c >> 12) & 0x3F)));
        bytes.push_back(static_cast<TUnit>(0x80 | ((c >> 6) & 0x3F)));
        bytes.push_back(static_cast<TUnit>(0x80 | (c & 0x3F)));
    }
}

// Which lead bytes start a sequence: today's UTF-8 (up to four bytes), or also the five- and
// six-byte forms of the original definition, which some decoders still accept and which then
// carry values past U+10FFFF.
enum class TUtf8Forms { Standard, Extended };

// One sequence at the start of data. Length is 0 when data[0] starts no well-formed sequence: a
// continuation byte or a lead byte that cannot start one, a sequence cut short by a byte that
// does not continue it or by the end, an overlong form or an encoded surrogate. Otherwise Value
// is the value, which may lie past U+10FFFF (a four-byte form from F4 90 on, or an extended form).
struct TUtf8Sequence {
    char32_t Value = 0;
    std::size_t Length = 0;
};

inline TUtf8Sequence ReadUtf8Sequence(const std::uint8_t* data, std::size_t size, TUtf8Forms forms)
{
    const std::uint8_t lead = data[0];
    if (lead < 0x80)
        return {lead, 1};
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead >= 0xC0 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF7) {
        length = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    } else if (forms == TUtf8Forms::Extended && lead >= 0xF8 && lead <= 0xFB) {
        length = 5;
        value = lead & 0x03;
        minimum = 0x200000;
    } else if (forms == TUtf8Forms::Extended && lead >= 0xFC && lead <= 0xFD) {
        length = 6;
        value = lead & 0x01;
        minimum = 0x4000000;
    } else {
        return {};
    }
    if (size < length)
        return {};
    for (std::size_t k = 1; k < length; ++k) {
        if ((data[k] & 0xC0) != 0x80)
            return {};
        value = (value << 6) | (data[k] & 0x3F);
    }
    if (value < minimum || IsSurrogate(value))
        return {};
    return {value, length};
}
