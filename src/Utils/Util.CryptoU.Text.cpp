// The text operations: payload text to bytes in the variant's encoding, the container carried
// as base64 text.

#include <limits>

#include "Utils/Util.CryptoU.h"
#include "core/Exceptions.h"
#include "core/ScopeExit.h"
#include "core/SecureZero.h"
#include "core/Text.h"
#include "rtl/Encoding.h"
#include "rtl/StringStream.h"

namespace {

const TEncoding& PayloadEncoding(bool utf8)
{
    return utf8 ? TEncoding::UTF8() : TEncoding::ANSI();
}

}  // namespace

TBytes DecodeBase64String(std::u16string_view text)
{
    // Narrowed to a legacy code page, a character beyond ASCII could turn into alphabet bytes
    // (a trail byte, a best fit); the ASCII encoding makes it a byte the decoder skips.
    const TSecureBytes ascii = TEncoding::ASCII().GetBytes(text);
    return DecodeBase64Text(std::string_view(reinterpret_cast<const char*>(ascii.data()), ascii.size()));
}

std::int32_t TCrypto::ContainerByteCount(std::size_t size)
{
    // The base64 encoder takes a 32-bit count; a longer container must not be cut short.
    if (size > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw Exception(u"The container is too large for base64 text");
    return static_cast<std::int32_t>(size);
}

bool TCrypto::GetEncryptedStringInner(std::u16string_view AText, std::u16string_view AKey,
                                      std::u16string& AEncryptedText, bool checkData, TBase64FormattingOptions options,
                                      bool utf8)
{
    // Every input is read before the result is touched: the result may be the text or the key.
    const TSecureBytes keyBytes = TEncoding::UTF8().GetBytes(AKey);
    TStringStream source(PayloadEncoding(utf8));
    source.WriteString(AText);
    AEncryptedText.clear();
    TMemoryStream dest;
    const bool result = EncryptStreamInner(source, dest, keyBytes, checkData);
    // The encrypted text may be a parameter block, a secret in its own right: its narrow form goes
    // wiped.
    std::string base64 = EncodeBase64Text(dest.Memory(), ContainerByteCount(dest.Bytes().size()), options);
    const TScopeExit wipeBase64([&base64] { WipeString(base64); });
    AEncryptedText = WidenAscii(base64);
    return result;
}

bool TCrypto::GetDecryptedStringInner(std::u16string_view AEncryptedText, std::u16string_view AKey, TSecureText& AText,
                                      bool checkData, bool utf8)
{
    // Every input is read before the result is touched: the result may be the text or the key.
    const TBytes container = DecodeBase64String(AEncryptedText);
    const TSecureBytes keyBytes = TEncoding::UTF8().GetBytes(AKey);
    AText.clear();
    TMemoryStream source;
    source.WriteBuffer(container.data(), static_cast<std::int64_t>(container.size()));
    TStringStream dest(PayloadEncoding(utf8));
    const bool result = DecryptStreamInner(source, dest, keyBytes, checkData);
    AText = dest.DataString();
    return result;
}

bool TCrypto::GetEncryptedString(std::u16string_view AText, std::u16string_view AKey, std::u16string& AEncryptedText)
{
    return GetEncryptedString(AText, AKey, AEncryptedText, TBase64FormattingOptions::InsertLineBreaks);
}

bool TCrypto::GetEncryptedString(std::u16string_view AText, std::u16string_view AKey, std::u16string& AEncryptedText,
                                 TBase64FormattingOptions options)
{
    return GetEncryptedStringInner(AText, AKey, AEncryptedText, false, options, false);
}

bool TCrypto::GetDecryptedString(std::u16string_view AEncryptedText, std::u16string_view AKey, TSecureText& AText)
{
    return GetDecryptedStringInner(AEncryptedText, AKey, AText, false, false);
}

bool TCrypto::GetEncryptedStringWithCheckData(std::u16string_view AText, std::u16string_view AKey,
                                              std::u16string& AEncryptedText)
{
    return GetEncryptedStringWithCheckData(AText, AKey, AEncryptedText, TBase64FormattingOptions::InsertLineBreaks);
}

bool TCrypto::GetEncryptedStringWithCheckData(std::u16string_view AText, std::u16string_view AKey,
                                              std::u16string& AEncryptedText, TBase64FormattingOptions options)
{
    return GetEncryptedStringInner(AText, AKey, AEncryptedText, true, options, false);
}

bool TCrypto::GetDecryptedStringWithCheckData(std::u16string_view AEncryptedText, std::u16string_view AKey,
                                              TSecureText& AText)
{
    return GetDecryptedStringInner(AEncryptedText, AKey, AText, true, false);
}

bool TCrypto::GetEncryptedString2(std::u16string_view AText, std::u16string_view AKey, std::u16string& AEncryptedText)
{
    return GetEncryptedString2(AText, AKey, AEncryptedText, TBase64FormattingOptions::InsertLineBreaks);
}

bool TCrypto::GetEncryptedString2(std::u16string_view AText, std::u16string_view AKey, std::u16string& AEncryptedText,
                                  TBase64FormattingOptions options)
{
    return GetEncryptedStringInner(AText, AKey, AEncryptedText, false, options, true);
}

bool TCrypto::GetDecryptedString2(std::u16string_view AEncryptedText, std::u16string_view AKey, TSecureText& AText)
{
    return GetDecryptedStringInner(AEncryptedText, AKey, AText, false, true);
}

bool TCrypto::GetEncryptedStringWithCheckData2(std::u16string_view AText, std::u16string_view AKey,
                                               std::u16string& AEncryptedText)
{
    return GetEncryptedStringWithCheckData2(AText, AKey, AEncryptedText, TBase64FormattingOptions::InsertLineBreaks);
}

bool TCrypto::GetEncryptedStringWithCheckData2(std::u16string_view AText, std::u16string_view AKey,
                                               std::u16string& AEncryptedText, TBase64FormattingOptions options)
{
    return GetEncryptedStringInner(AText, AKey, AEncryptedText, true, options, true);
}

bool TCrypto::GetDecryptedStringWithCheckData2(std::u16string_view AEncryptedText, std::u16string_view AKey,
                                               TSecureText& AText)
{
    return GetDecryptedStringInner(AEncryptedText, AKey, AText, true, true);
}
