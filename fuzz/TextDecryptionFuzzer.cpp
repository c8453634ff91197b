// The text decryption of TCrypto in its four variants (with or without check data, payload in
// the ANSI code page or in UTF-8) on arbitrary text under a fixed key: base64 text, container
// and payload encoding meet here. A variant answers true or false, and only a UTF-8 variant may
// raise instead, with the encoding error. With check data a failure leaves the text empty. A
// text that decrypts encrypts again, in the chosen line layout, to a text that decrypts to it,
// with its line breaks and without them.
//
// Input: one byte of switches (bit 0 check data, bit 1 UTF-8, bits 2-3 the line layout of the
// encryption: none, line breaks, line breaks XE5-compatible), then the text, one character per
// byte; bytes from 0x80 on stand for characters beyond Latin-1, which the decryption drops.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "Utils/Util.CryptoU.h"
#include "fuzz/FuzzText.h"
#include "rtl/Encoding.h"

namespace {

const std::u16string Key = u"fuzz-key-01";

using TDecrypt = bool (*)(std::u16string_view, std::u16string_view, TSecureText&);
using TEncrypt = bool (*)(std::u16string_view, std::u16string_view, std::u16string&, TBase64FormattingOptions);

struct TVariant {
    TDecrypt Decrypt;
    TEncrypt Encrypt;
};

// Indexed by the check-data bit and the UTF-8 bit.
constexpr TVariant Variants[] = {
    {&TCrypto::GetDecryptedString, &TCrypto::GetEncryptedString},
    {&TCrypto::GetDecryptedStringWithCheckData, &TCrypto::GetEncryptedStringWithCheckData},
    {&TCrypto::GetDecryptedString2, &TCrypto::GetEncryptedString2},
    {&TCrypto::GetDecryptedStringWithCheckData2, &TCrypto::GetEncryptedStringWithCheckData2},
};

std::u16string WithoutLineBreaks(const std::u16string& text)
{
    std::u16string oneLine;
    for (const char16_t c : text)
        if (c != u'\r' && c != u'\n')
            oneLine.push_back(c);
    return oneLine;
}

void CheckDecryptsTo(const TVariant& variant, const std::u16string& encrypted, const TSecureText& expected)
{
    TSecureText text;
    if (!variant.Decrypt(encrypted, Key, text) || text != expected)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const bool checkData = (data[0] & 1) != 0;
    const bool utf8 = (data[0] & 2) != 0;
    const auto layout = static_cast<TBase64FormattingOptions>(((data[0] >> 2) & 3) % 3);
    const TVariant& variant = Variants[(utf8 ? 2 : 0) + (checkData ? 1 : 0)];

    TSecureText text(u"sentinel");
    bool decrypted = false;
    try {
        decrypted = variant.Decrypt(Widened(data + 1, size - 1), Key, text);
    } catch (const EEncodingError&) {
        if (!utf8)
            std::abort();
        return 0;
    }
    if (!decrypted) {
        if (checkData && !text.empty())
            std::abort();
        return 0;
    }

    std::u16string encrypted;
    if (!variant.Encrypt(text, Key, encrypted, layout))
        std::abort();
    CheckDecryptsTo(variant, encrypted, text);
    if (layout != TBase64FormattingOptions::None)
        CheckDecryptsTo(variant, WithoutLineBreaks(encrypted), text);
    return 0;
}
