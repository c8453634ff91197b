#pragma once
// Reaches the private container engines of TCrypto for the tests.

#include "Utils/Util.CryptoU.h"

struct TCryptoTestAccess {
    [[nodiscard]] static bool EncryptStreamInner(TStream& source, TStream& dest, std::span<const std::uint8_t> keyBytes,
                                                 bool checkData)
    {
        return TCrypto::EncryptStreamInner(source, dest, keyBytes, checkData);
    }
    [[nodiscard]] static bool DecryptStreamInner(TStream& source, TStream& dest, std::span<const std::uint8_t> keyBytes,
                                                 bool checkData)
    {
        return TCrypto::DecryptStreamInner(source, dest, keyBytes, checkData);
    }
    [[nodiscard]] static bool DeriveKeyAndIV(std::span<const std::uint8_t> keyBytes, std::span<const std::uint8_t> salt,
                                             TSecureBytes& key, TSecureBytes& iv)
    {
        return TCrypto::DeriveKeyAndIV(keyBytes, salt, key, iv);
    }
    static TBytes GenerateSalt() { return TCrypto::GenerateSalt(); }
    static std::int32_t ContainerByteCount(std::size_t size) { return TCrypto::ContainerByteCount(size); }
};
