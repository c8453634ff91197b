// Stream encryption without check data: the container streams through the cipher in pieces.

#include "Utils/Util.CryptoU.h"
#include "rtl/Encoding.h"

namespace {

// Source and destination may be one stream. The engine would then read what it has just written,
// so the result goes through memory and replaces the stream's content, just as it would fill a
// separate empty destination.
template <typename TEngine>
[[nodiscard]] bool RunEngine(TStream& source, TStream& dest, TEngine engine)
{
    if (&source != &dest)
        return engine(source, dest);
    TMemoryStream result;
    const bool succeeded = engine(source, result);
    dest.SetPosition(0);
    dest.WriteBuffer(result.Memory(), result.Size());
    dest.SetSize(result.Size());
    return succeeded;
}

}  // namespace

std::unique_ptr<TMemoryStream> TCrypto::EncryptStream(TStream& ASource, std::u16string_view AKey)
{
    auto result = std::make_unique<TMemoryStream>();
    // These overloads hand over whatever the engine wrote, failed or not (see the header).
    (void)EncryptStream(ASource, AKey, *result);
    result->SetPosition(0);
    return result;
}

std::unique_ptr<TMemoryStream> TCrypto::DecryptStream(TStream& ASource, std::u16string_view AKey)
{
    auto result = std::make_unique<TMemoryStream>();
    (void)DecryptStream(ASource, AKey, *result);
    result->SetPosition(0);
    return result;
}

bool TCrypto::EncryptStream(TStream& ASource, std::u16string_view AKey, TStream& ADest)
{
    const TSecureBytes keyBytes = TEncoding::UTF8().GetBytes(AKey);
    return RunEngine(ASource, ADest,
                     [&](TStream& source, TStream& dest) { return EncryptStreamInner(source, dest, keyBytes, false); });
}

bool TCrypto::DecryptStream(TStream& ASource, std::u16string_view AKey, TStream& ADest)
{
    const TSecureBytes keyBytes = TEncoding::UTF8().GetBytes(AKey);
    return RunEngine(ASource, ADest,
                     [&](TStream& source, TStream& dest) { return DecryptStreamInner(source, dest, keyBytes, false); });
}
