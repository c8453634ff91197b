#include "launchlib/Utf8Items.h"

#include <cstring>

#include "core/Utf8.h"
#include "launchlib/Boundary.h"

TSecureText TextOfUtf8(const char* text)
{
    if (text == nullptr)
        throw EBadArgument{};
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text);
    const std::size_t size = std::strlen(text);
    TSecureText result;
    result.reserve(size);
    for (std::size_t i = 0; i < size;) {
        const TUtf8Sequence sequence = ReadUtf8Sequence(bytes + i, size - i);
        if (!sequence.Valid)
            throw EBadArgument{};
        AppendUtf16(result, sequence.Value);
        i += sequence.Length;
    }
    return result;
}

TStringList ItemsOfUtf8(const char* const* items, std::size_t count)
{
    if (items == nullptr)
        throw EBadArgument{};
    TStringList list;
    for (std::size_t i = 0; i < count; ++i)
        list.Add(TextOfUtf8(items[i]));
    return list;
}

void AppendUtf8Text(TSecureBytes& bytes, std::u16string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = NextCodePoint(text, i);
        AppendUtf8(bytes, IsSurrogate(c) ? U'\uFFFD' : c);
    }
    bytes.push_back(0);
}
