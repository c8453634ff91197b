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

// One step of decoding UTF-8 at the start of data (size at least 1).
//
// Valid: a well-formed sequence of Length bytes (the Unicode Standard's table 3-7: shortest form,
// no encoded surrogate, nothing past U+10FFFF) holding Value. Otherwise Length is the length of
// the maximal subpart at the start: the longest run of bytes that begins some well-formed
// sequence, or the first byte alone when none begins with it (a continuation byte, C0, C1, F5 to
// FF). A decoder that stands one U+FFFD for each maximal subpart and goes on after it follows the
// standard's recommended practice ("U+FFFD Substitution of Maximal Subparts", section 3.9):
// F4 90 80 80 gives four U+FFFD (no sequence begins F4 90), E1 80 41 gives U+FFFD and "A", ED A0 80
// (a surrogate) gives three, a cut E1 80 at the end one.
struct TUtf8Sequence {
    char32_t Value = 0;
    std::size_t Length = 1;
    bool Valid = false;
};

inline TUtf8Sequence ReadUtf8Sequence(const std::uint8_t* data, std::size_t size)
{
    const std::uint8_t lead = data[0];
    if (lead < 0x80)
        return {lead, 1, true};
    std::size_t length = 0;
    char32_t value = 0;
    // The range of the second byte; later continuation bytes are 80 to BF. The narrower ranges
    // after E0, ED, F0 and F4 rule out overlong forms, surrogates and values past U+10FFFF from
    // the second byte on, which is what makes the first byte alone a maximal subpart there.
    std::uint8_t secondLow = 0x80;
    std::uint8_t secondHigh = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        if (lead == 0xE0)
            secondLow = 0xA0;
        else if (lead == 0xED)
            secondHigh = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xF0)
            secondLow = 0x90;
        else if (lead == 0xF4)
            secondHigh = 0x8F;
    } else {
        return {};
    }
    for (std::size_t k = 1; k < length; ++k) {
        const std::uint8_t low = k == 1 ? secondLow : std::uint8_t{0x80};
        const std::uint8_t high = k == 1 ? secondHigh : std::uint8_t{0xBF};
        if (k == size || data[k] < low || data[k] > high)
            return {0, k, false};
        value = (value << 6) | (data[k] & 0x3F);
    }
    return {value, length, true};
}
