#pragma once
// Small helpers shared by the container and TCrypto tests.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/Bytes.h"
#include "rtl/MemoryStream.h"

namespace CryptoTest {

inline TBytes BytesOf(std::string_view text)
{
    return TBytes(text.begin(), text.end());
}

inline TMemoryStream StreamOf(const TBytes& bytes)
{
    TMemoryStream stream;
    stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    return stream;
}

template <typename Bytes>
TBytes Plain(const Bytes& bytes)
{
    return TBytes(bytes.begin(), bytes.end());
}

inline std::u16string WithoutLineBreaks(std::u16string text)
{
    std::erase(text, u'\r');
    std::erase(text, u'\n');
    return text;
}

// Base64 text back to 8-bit text; base64 is ASCII.
inline std::string Narrow(std::u16string_view text)
{
    return std::string(text.begin(), text.end());
}

// Container length for an n-byte payload: the salt and whole padded blocks.
inline std::size_t ContainerLength(std::size_t payload, bool checkData)
{
    const std::size_t body = payload + (checkData ? 11 : 0);
    return 11 + 16 * (body / 16 + 1);
}

}  // namespace CryptoTest
