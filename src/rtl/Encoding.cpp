#include "rtl/Encoding.h"

#include "core/Exceptions.h"
#include "core/Utf8.h"
#include "platform/CodePage.h"

namespace {

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
        for (std::size_t i = 0; i < text.size();) {
            const char32_t c = NextCodePoint(text, i);
            // A lone surrogate has no UTF-8 form; it is written as the replacement character.
            AppendUtf8(bytes, IsSurrogate(c) ? U'\uFFFD' : c);
        }
        return bytes;
    }

    // Strict: any byte that is not part of a well-formed sequence up to U+10FFFF raises.
    TSecureText GetString(const std::uint8_t* data, std::size_t size) const override
    {
        TSecureText text;
        text.reserve(size);
        std::size_t i = 0;
        while (i < size) {
            const TUtf8Sequence sequence = ReadUtf8Sequence(data + i, size - i);
            if (!sequence.Valid)
                RaiseNoMapping();
            AppendUtf16(text, sequence.Value);
            i += sequence.Length;
        }
        return text;
    }

private:
    [[noreturn]] static void RaiseNoMapping() { throw EEncodingError(std::u16string(NoMappingForUnicodeCharacter)); }
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
