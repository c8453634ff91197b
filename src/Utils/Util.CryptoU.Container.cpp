// The encrypted container: 11 salt bytes, then AES-256-CBC with PKCS#7 padding over the
// payload, optionally preceded by the salt once more as check data.

#include <algorithm>

#include "Utils/Util.CryptoU.h"
#include "Utils/Util.SecurityU.h"
#include "rtl/MemoryStream.h"

namespace {

constexpr std::size_t SaltSize = 11;
// Only the first salt bytes enter the key derivation; the rest serve as check data alone.
constexpr std::size_t DerivationSaltSize = 8;
constexpr std::size_t KeySize = 32;
constexpr std::size_t IVSize = 16;
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
// The fuzz build alone, which never ships, stretches the key once instead of 2048 times: the
// derivation keeps its inputs, its passes and its output sizes, and the fuzz targets spend their
// time in the code after it. Configuring any other build with the macro fails.
constexpr std::int32_t HashRounds = 1;
#else
constexpr std::int32_t HashRounds = 2048;
#endif

// Reads up to count bytes, also from streams that deliver less than asked per call.
std::size_t ReadUpTo(TStream& stream, std::uint8_t* buffer, std::size_t count)
{
    std::size_t total = 0;
    while (total < count) {
        const std::int64_t n = stream.Read(buffer + total, static_cast<std::int64_t>(count - total));
        if (n <= 0)
            break;
        total += static_cast<std::size_t>(n);
    }
    return total;
}

void Rewind(TStream& source, TStream& dest)
{
    source.SetPosition(0);
    dest.SetPosition(0);
}

}  // namespace

TBytes TCrypto::GenerateSalt()
{
    TBytes salt(SaltSize);
    TRandomNumberGenerator generator;
    generator.Initialize();
    generator.GetBytes(salt);
    return salt;
}

bool TCrypto::DeriveKeyAndIV(std::span<const std::uint8_t> keyBytes, std::span<const std::uint8_t> salt,
                             TSecureBytes& key, TSecureBytes& iv)
{
    key.clear();
    iv.clear();
    key.reserve(KeySize);
    iv.reserve(IVSize);
    if (keyBytes.empty()) {
        key.assign(KeySize, 0);
        iv.assign(IVSize, 0);
        return true;
    }
    const auto saltPart = salt.first(std::min(salt.size(), DerivationSaltSize));
    try {
        TSHA256Repeatable hash;
        hash.Initialize();
        TSecureBytes digest;
        TSecureBytes input;
        while (key.size() < KeySize || iv.size() < IVSize) {
            // Each pass hashes the previous digest (none in the first), the key bytes, the salt.
            input.assign(digest.begin(), digest.end());
            input.insert(input.end(), keyBytes.begin(), keyBytes.end());
            input.insert(input.end(), saltPart.begin(), saltPart.end());
            digest = hash.RepeatHash(input, HashRounds);
            if (digest.empty())
                return false;  // a provider that yields nothing would never fill the key
            auto next = digest.begin();
            while (key.size() < KeySize && next != digest.end())
                key.push_back(*next++);
            while (iv.size() < IVSize && next != digest.end())
                iv.push_back(*next++);
        }
    } catch (const EOSError&) {
        return false;
    }
    return true;
}

bool TCrypto::EncryptStreamInner(TStream& source, TStream& dest, std::span<const std::uint8_t> keyBytes, bool checkData)
{
    Rewind(source, dest);
    const TBytes salt = GenerateSalt();
    dest.WriteBuffer(salt.data(), static_cast<std::int64_t>(salt.size()));
    TAes256Crypt cipher;
    try {
        TSecureBytes key;
        TSecureBytes iv;
        // A half-made key or an empty IV must never reach the cipher.
        if (!DeriveKeyAndIV(keyBytes, salt, key, iv))
            return false;
        cipher.Initialize(key);
        if (checkData) {
            TMemoryStream body;
            body.WriteBuffer(salt.data(), static_cast<std::int64_t>(salt.size()));
            body.CopyFrom(source);
            body.SetPosition(0);
            cipher.Encrypt(iv, body, dest);
        } else {
            cipher.Encrypt(iv, source, dest);
        }
    } catch (const EOSError&) {
        return false;
    }
    return true;
}

bool TCrypto::DecryptStreamInner(TStream& source, TStream& dest, std::span<const std::uint8_t> keyBytes, bool checkData)
{
    Rewind(source, dest);
    // A source shorter than the salt leaves the missing salt bytes zero.
    TBytes salt(SaltSize, 0);
    ReadUpTo(source, salt.data(), salt.size());

    TSecureBytes key;
    TSecureBytes iv;
    if (!DeriveKeyAndIV(keyBytes, salt, key, iv))
        return false;

    // Nothing after the salt: there is no ciphertext to decrypt.
    const std::int64_t size = source.Size();
    if (size >= 0 && source.Position() >= size)
        return false;

    TAes256Crypt cipher;
    try {
        cipher.Initialize(key);
        if (!checkData) {
            cipher.Decrypt(iv, source, dest);
            return true;
        }
        // All plaintext stays here until the check data has been verified, so the destination
        // is untouched on every failure.
        TMemoryStream body;
        cipher.Decrypt(iv, source, body);
        const auto bodySize = static_cast<std::size_t>(body.Size());
        if (bodySize < SaltSize)
            return false;
        if (!std::equal(salt.begin(), salt.end(), body.Memory()))
            return false;
        if (bodySize > SaltSize)
            dest.WriteBuffer(body.Memory() + SaltSize, static_cast<std::int64_t>(bodySize - SaltSize));
        return true;
    } catch (const EOSError&) {
        return false;
    }
}
