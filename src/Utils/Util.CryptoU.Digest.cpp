// Salted SHA-256 digests: the salt first, then the data.

#include "Utils/Util.CryptoU.h"
#include "Utils/Util.SecurityU.h"
#include "core/Text.h"
#include "rtl/Encoding.h"

std::u16string TCrypto::GetHashSHA256(std::u16string_view AText, std::u16string_view ASalt)
{
    // Joined before encoding, so a surrogate pair split across the two texts stays one character.
    TSecureText joined;
    joined.reserve(ASalt.size() + AText.size());
    joined.append(ASalt).append(AText);
    const TSecureBytes bytes = TEncoding::UTF8().GetBytes(joined);
    TSHA256 hash;
    hash.Initialize();
    const TBytes digest = hash.Hash(bytes);
    return WidenAscii(
        EncodeBase64Text(digest.data(), static_cast<std::int32_t>(digest.size()), TBase64FormattingOptions::None));
}

TBytes TCrypto::GetHashSHA256b(TBytes ASrc, TBytes ASalt)
{
    TSecureBytes input;
    input.reserve(ASalt.size() + ASrc.size());
    input.insert(input.end(), ASalt.begin(), ASalt.end());
    input.insert(input.end(), ASrc.begin(), ASrc.end());
    TSHA256 hash;
    hash.Initialize();
    return hash.Hash(input);
}
