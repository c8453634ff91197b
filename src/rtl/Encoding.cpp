#include "rtl/Encoding.h"

#include "core/Exceptions.h"
#include "platform/CodePage.h"

namespace {

bool IsHighSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

class TAnsiEncoding final : public TEncoding {
public:
    TSecureBytes GetBytes(std::u16string_view text) const override { return UnicodeToAnsi(text); }
    TSecureText GetString(const std::uint8_t* data, std::size_t size) const override
    {
        return AnsiToUnicode(data, size);
    }
};

class TUtf8Encoding final : public TEncoding {
public:
    TSecureBytes GetBytes(std::u16string_view text) const override
    {
        TSecureBytes bytes;
        bytes.reserve(text.size() * 3);
        for (std::size_t i = 0; i < text.size(); ++i) {
            char32_t c = text[i];
            if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
                c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
                ++i;
            } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
                // A lone surrogate has no UTF-8 form; it is written as the replacement character.
                c = 0xFFFD;
            }
            Append(bytes, c);
        }
        return bytes;
    }

    TSecureText GetString(const std::uint8_t* data, std::size_t size) const override
    {
        TSecureText text;
        text.reserve(size);
        std::size_t i = 0;
        while (i < size) {
            const std::uint8_t lead = data[i];
            if (lead < 0x80) {
                text.push_back(lead);
                ++i;
                continue;
            }
            int extra = 0;
            char32_t c = 0;
            char32_t minimum = 0;
            if ((lead & 0xE0) == 0xC0) {
                c = lead & 0x1F;
                extra = 1;
                minimum = 0x80;
            } else if ((lead & 0xF0) == 0xE0) {
                c = lead & 0x0F;
                extra = 2;
                minimum = 0x800;
            } else if ((lead & 0xF8) == 0xF0) {
                c = lead & 0x07;
                extra = 3;
                minimum = 0x10000;
            } else {
                RaiseNoMapping();
            }
            if (size - i <= static_cast<std::size_t>(extra))
                RaiseNoMapping();
            for (int k = 1; k <= extra; ++k) {
                const std::uint8_t next = data[i + static_cast<std::size_t>(k)];
                if ((next & 0xC0) != 0x80)
                    RaiseNoMapping();
                c = (c << 6) | (next & 0x3F);
            }
            // Overlong forms, encoded surrogates and values past U+10FFFF are not UTF-8.
            if (c < minimum || c > 0x10FFFF || IsHighSurrogate(c) || IsLowSurrogate(c))
                RaiseNoMapping();
            if (c >= 0x10000) {
                c -= 0x10000;
                text.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
                text.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
            } else {
                text.push_back(static_cast<char16_t>(c));
            }
            i += static_cast<std::size_t>(extra) + 1;
        }
        return text;
    }

private:
    static void Append(TSecureBytes& bytes, char32_t c)
    {
        if (c < 0x80) {
            bytes.push_back(static_cast<std::uint8_t>(c));
        } else if (c < 0x800) {
            bytes.push_back(static_cast<std::uint8_t>(0xC0 | (c >> 6)));
            bytes.push_back(static_cast<std::uint8_t>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            bytes.push_back(static_cast<std::uint8_t>(0xE0 | (c >> 12)));
            bytes.push_back(static_cast<std::uint8_t>(0x80 | ((c >> 6) & 0x3F)));
            bytes.push_back(static_cast<std::uint8_t>(0x80 | (c & 0x3F)));
        } else {
            bytes.push_back(static_cast<std::uint8_t>(0xF0 | (c >> 18)));
            bytes.push_back(static_cast<std::uint8_t>(0x80 | ((c >> 12) & 0x3F)));
            bytes.push_back(static_cast<std::uint8_t>(0x80 | ((c >> 6) & 0x3F)));
            bytes.push_back(static_cast<std::uint8_t>(0x80 | (c & 0x3F)));
        }
    }

    [[noreturn]] static void RaiseNoMapping() { throw EEncodingError(std::u16string(kNoMappingForUnicodeCharacter)); }
};

class TAsciiEncoding final : public TEncoding {
public:
    TSecureBytes GetBytes(std::u16string_view text) const override
    {
        TSecureBytes bytes(text.size());
        for (std::size_t i = 0; i < text.size(); ++i)
            bytes[i] = text[i] < 0x80 ? static_cast<std::uint8_t>(text[i]) : std::uint8_t{'?'};
        return bytes;
    }

    TSecureText GetString(const std::uint8_t* data, std::size_t size) const override
    {
        TSecureText text(size, u'\0');
        for (std::size_t i = 0; i < size; ++i)
            text[i] = data[i] < 0x80 ? data[i] : u'?';
        return text;
    }
};

}  // namespace

const TEncoding& TEncoding::ANSI()
{
    static const TAnsiEncoding encoding;
    return encoding;
}

const TEncoding& TEncoding::UTF8()
{
    static const TUtf8Encoding encoding;
    return encoding;
}

const TEncoding& TEncoding::ASCII()
{
    static const TAsciiEncoding encoding;
    return encoding;
}
