// Stream encryption without check data: the container streams through the cipher in pieces.

#include "Utils/Util.CryptoU.h"
#include "rtl/Encoding.h"

std::unique_ptr<TMemoryStream> TCrypto::EncryptStream(TStream& ASource, const std::u16string& AKey)
{
    auto result = std::make_unique<TMemoryStream>();
    EncryptStream(ASource, AKey, *result);
    result->SetPosition(0);
    return result;
}

std::unique_ptr<TMemoryStream> TCrypto::DecryptStream(TStream& ASource, const std::u16string& AKey)
{
    auto result = std::make_unique<TMemoryStream>();
    DecryptStream(ASource, AKey, *result);
    result->SetPosition(0);
    return result;
}

bool TCrypto::EncryptStream(TStream& ASource, const std::u16string& AKey, TStream& ADest)
{
    const TSecureBytes keyBytes = TEncoding::UTF8().GetBytes(AKey);
    return EncryptStreamInner(ASource, ADest, keyBytes, false);
}

bool TCrypto::DecryptStream(TStream& ASource, const std::u16string& AKey, TStream& ADest)
{
    const TSecureBytes keyBytes = TEncoding::UTF8().GetBytes(AKey);
    return DecryptStreamInner(ASource, ADest, keyBytes, false);
}
