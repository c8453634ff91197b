#include "core/Text.h"

#include <string>

#include "core/Utf8.h"

std::u16string LowerHex(std::span<const std::uint8_t> bytes)
{
    static constexpr char16_t hexDigits[] = u"0123456789abcdef";
    std::u16string out;
    out.reserve(bytes.size() * 2);
    for (const std::uint8_t b : bytes) {
        out.push_back(hexDigits[b >> 4]);
        out.push_back(hexDigits[b & 0x0F]);
    }
    return out;
}

std::u16string IntToStr(std::int64_t value)
{
    const std::string digits = std::to_string(value);
    return WidenAscii(digits);
}

std::u16string WidenAscii(std::string_view text)
{
    std::u16string out(text.size(), u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        out[i] = static_cast<unsigned char>(text[i]);
    return out;
}

std::string ToUtf8Lossy(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size() * 3);
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = NextCodePoint(text, i);
        AppendUtf8(out, IsSurrogate(c) ? U'\uFFFD' : c);
    }
    return out;
}

std::u16string FromUtf8Lossy(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        int extra = 0;
        char32_t c = 0;
        char32_t minimum = 0;
        if (b0 < 0x80) {
            c = b0;
        } else if ((b0 & 0xE0) == 0xC0) {
            c = b0 & 0x1F;
            extra = 1;
            minimum = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            c = b0 & 0x0F;
            extra = 2;
            minimum = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            c = b0 & 0x07;
            extra = 3;
            minimum = 0x10000;
        } else {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        // Continuation bytes that are present and well formed; a broken sequence becomes one
        // U+FFFD and reading resumes at the first byte that did not belong to it.
        std::size_t taken = 1;
        while (taken <= static_cast<std::size_t>(extra) && i + taken < text.size() &&
               (static_cast<unsigned char>(text[i + taken]) & 0xC0) == 0x80) {
            c = (c << 6) | (static_cast<unsigned char>(text[i + taken]) & 0x3F);
            ++taken;
        }
        if (taken != static_cast<std::size_t>(extra) + 1 || c < minimum || c > 0x10FFFF || IsSurrogate(c)) {
            out.push_back(u'\uFFFD');
            i += taken;
            continue;
        }
        AppendUtf16(out, c);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}
