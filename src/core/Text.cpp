#include "core/Text.h"

#include <string>

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
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
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
        if (b0 < 0x80) { c = b0; }
        else if ((b0 & 0xE0) == 0xC0) { c = b0 & 0x1F; extra = 1; minimum = 0x80; }
        else if ((b0 & 0xF0) == 0xE0) { c = b0 & 0x0F; extra = 2; minimum = 0x800; }
        else if ((b0 & 0xF8) == 0xF0) { c = b0 & 0x07; extra = 3; minimum = 0x10000; }
        else { out.push_back(u'\uFFFD'); ++i; continue; }
        // Continuation bytes that are present and well formed; a broken sequence becomes one
        // U+FFFD and reading resumes at the first byte that did not belong to it.
        std::size_t taken = 1;
        while (taken <= static_cast<std::size_t>(extra) && i + taken < text.size() &&
               (static_cast<unsigned char>(text[i + taken]) & 0xC0) == 0x80) {
            c = (c << 6) | (static_cast<unsigned char>(text[i + taken]) & 0x3F);
            ++taken;
        }
        if (taken != static_cast<std::size_t>(extra) + 1 || c < minimum || c > 0x10FFFF ||
            (c >= 0xD800 && c <= 0xDFFF)) {
            out.push_back(u'\uFFFD');
            i += taken;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}
