#include "tools/corvane/Commands.h"
#include "tools/corvane/KeySource.h"

#include "Utils/Util.CryptoU.h"
#include "core/Exceptions.h"

namespace {

using TEncryptOperation = bool (*)(std::u16string_view, std::u16string_view, std::u16string&, TBase64FormattingOptions);
using TDecryptOperation = bool (*)(std::u16string_view, std::u16string_view, TSecureText&);

struct TVariant {
    TEncryptOperation Encrypt;
    TDecryptOperation Decrypt;
};

// The TCrypto variant chosen by --check-data and --utf8.
TVariant TakeVariant(TCommandArgs& args)
{
    const bool checkData = args.TakeFlag("--check-data");
    const bool utf8 = args.TakeFlag("--utf8");
    if (checkData && utf8)
        return {&TCrypto::GetEncryptedStringWithCheckData2, &TCrypto::GetDecryptedStringWithCheckData2};
    if (checkData)
        return {&TCrypto::GetEncryptedStringWithCheckData, &TCrypto::GetDecryptedStringWithCheckData};
    if (utf8)
        return {&TCrypto::GetEncryptedString2, &TCrypto::GetDecryptedString2};
    return {&TCrypto::GetEncryptedString, &TCrypto::GetDecryptedString};
}

TBase64FormattingOptions TakeLayout(TCommandArgs& args)
{
    const auto layout = args.TakeValue("--layout");
    if (!layout || *layout == u"breaks")
        return TBase64FormattingOptions::InsertLineBreaks;
    if (*layout == u"none")
        return TBase64FormattingOptions::None;
    if (*layout == u"xe5")
        return TBase64FormattingOptions::InsertLineBreaksXE5Compat;
    throw EUsageError{"--layout wants none, breaks or xe5, got \"" + Utf8(*layout) + "\""};
}

}  // namespace

int EncryptCommand(TCommandArgs& args)
{
    TakeCodePage(args);
    const TVariant variant = TakeVariant(args);
    const TBase64FormattingOptions layout = TakeLayout(args);
    const TSecureText key = TakeKey(args);
    args.TakePositionals(0, 0);

    const TSecureText text = DecodeText(ReadStandardInput(), "standard input");
    std::u16string encrypted;
    if (!variant.Encrypt(text, key, encrypted, layout))
        throw EToolFailure{"encryption failed"};
    WriteOut(encrypted);
    // One line break ends the output, whatever the layout already put there.
    if (!encrypted.ends_with(u"\r\n"))
        WriteOut(u"\n");
    return 0;
}

int DecryptCommand(TCommandArgs& args)
{
    TakeCodePage(args);
    const TVariant variant = TakeVariant(args);
    const TSecureText key = TakeKey(args);
    args.TakePositionals(0, 0);

    // Base64 is ASCII; the decoder skips line breaks and blanks of any layout.
    const TSecureText encrypted = DecodeText(ReadStandardInput(), "standard input");
    TSecureText text;
    bool decrypted = false;
    try {
        decrypted = variant.Decrypt(encrypted, key, text);
    } catch (const EEncodingError&) {
        // Bytes that are not UTF-8 come only from a wrong key or damaged text.
        decrypted = false;
    }
    if (!decrypted)
        throw EToolFailure{"decryption failed: wrong key, wrong variant or damaged text"};
    WriteOut(text);
    return 0;
}
