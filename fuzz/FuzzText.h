#pragma once
// Text for the fuzz targets from their raw input bytes.

#include <cstddef>
#include <cstdint>
#include <string>

// One UTF-16 unit per byte: ASCII stays itself, so the inputs reach the separators, quotes and
// alphabets the readers look for; every other byte becomes a CJK character (U+3080 to U+30FF).
inline std::u16string Widened(const std::uint8_t* data, std::size_t size)
{
    std::u16string text;
    text.reserve(size);
    for (std::size_t i = 0; i < size; ++i)
        text.push_back(data[i] < 0x80 ? static_cast<char16_t>(data[i]) : static_cast<char16_t>(0x3000 + data[i]));
    return text;
}
