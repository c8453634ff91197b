#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/Bytes.h"
#include "core/SecureText.h"

// A text encoding: UTF-16 text to bytes and back. Either side may carry plaintext, so both are
// wiping types.
class TEncoding {
public:
    virtual ~TEncoding() = default;

    virtual TSecureBytes GetBytes(std::u16string_view text) const = 0;
    virtual TSecureText GetString(const std::uint8_t* data, std::size_t size) const = 0;

    template <typename Bytes>
    TSecureText GetString(const Bytes& bytes) const
    {
        return GetString(bytes.data(), bytes.size());
    }

    // The process's ANSI code page (see platform/CodePage.h). Never fails in either direction:
    // what the code page cannot represent becomes its default character, and undecodable bytes
    // become U+FFFD (or what the platform makes of them).
    static const TEncoding& ANSI();
    // Strict UTF-8 without byte-order mark: decoding invalid bytes raises EEncodingError.
    static const TEncoding& UTF8();
    // US-ASCII, one byte per UTF-16 code unit: every code unit above U+007F becomes "?".
    static const TEncoding& ASCII();
};

// The message of the strict UTF-8 decoding error.
inline constexpr std::u16string_view NoMappingForUnicodeCharacter =
    u"Unicode 文字のマッピングがターゲットのマルチバイト コード ページに存在しません";
