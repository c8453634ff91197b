// Arbitrary bytes as an encrypted container under a fixed key, with and without check data: the
// engine answers true or false and never reads or writes outside its buffers. With check data a
// failed container leaves the destination empty; what passes re-encrypts and decrypts to itself.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "Utils/CryptoU/CryptoTestAccess.h"
#include "rtl/MemoryStream.h"

namespace {

constexpr std::uint8_t FixedKey[] = {'f', 'u', 'z', 'z', '-', 'k', 'e', 'y', '-', '0', '1'};

TBytes Contents(TMemoryStream& stream)
{
    TBytes bytes(static_cast<std::size_t>(stream.Size()));
    stream.SetPosition(0);
    if (!bytes.empty())
        stream.ReadBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const bool checkData = (data[0] & 1) != 0;
    const std::span<const std::uint8_t> key(FixedKey);

    TMemoryStream source;
    if (size > 1)
        source.WriteBuffer(data + 1, static_cast<std::int64_t>(size - 1));
    TMemoryStream plain;
    const bool decrypted = TCryptoTestAccess::DecryptStreamInner(source, plain, key, checkData);
    if (!decrypted) {
        if (checkData && plain.Size() != 0)
            std::abort();
        return 0;
    }

    const TBytes plainBytes = Contents(plain);
    TMemoryStream again;
    again.WriteBuffer(plainBytes.data(), static_cast<std::int64_t>(plainBytes.size()));
    TMemoryStream container;
    if (!TCryptoTestAccess::EncryptStreamInner(again, container, key, checkData))
        std::abort();
    TMemoryStream roundTrip;
    if (!TCryptoTestAccess::DecryptStreamInner(container, roundTrip, key, checkData))
        std::abort();
    if (Contents(roundTrip) != plainBytes)
        std::abort();
    return 0;
}
