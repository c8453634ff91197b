// The in-process cases, each beside its floor: what libcrypto itself needs for the same work,
// called the cheapest way it allows. scripts/bench reads the JSON output and pairs them by name
// ("<case>/ours" with "<case>/floor").

#include <openssl/evp.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "Utils/Util.CryptoU.h"
#include "Utils/Util.SecurityU.h"
#include "core/Bytes.h"
#include "rtl/MemoryStream.h"

// The container engines' key derivation is private to TCrypto; this program reaches it the way
// the tests do.
struct TCryptoTestAccess {
    [[nodiscard]] static bool DeriveKeyAndIV(std::span<const std::uint8_t> keyBytes, std::span<const std::uint8_t> salt,
                                             TSecureBytes& key, TSecureBytes& iv)
    {
        return TCrypto::DeriveKeyAndIV(keyBytes, salt, key, iv);
    }
};

namespace {

// ---------------------------------------------------------------------------------------
// Sizes: the real ones, or small ones with --quick, which only proves that every case runs.

struct TBenchSizes {
    std::size_t CipherBytes = 64u << 20;
    std::size_t Base64Bytes = 1u << 20;
};

TBenchSizes& Sizes()
{
    static TBenchSizes sizes;
    return sizes;
}

// ---------------------------------------------------------------------------------------
// libcrypto owners for the floors.

struct TMdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const noexcept { EVP_MD_CTX_free(ctx); }
};
struct TMdFree {
    void operator()(EVP_MD* md) const noexcept { EVP_MD_free(md); }
};
struct TCipherCtxFree {
    void operator()(EVP_CIPHER_CTX* ctx) const noexcept { EVP_CIPHER_CTX_free(ctx); }
};
struct TCipherFree {
    void operator()(EVP_CIPHER* cipher) const noexcept { EVP_CIPHER_free(cipher); }
};
using TUniqueMdCtx = std::unique_ptr<EVP_MD_CTX, TMdCtxFree>;
using TUniqueMd = std::unique_ptr<EVP_MD, TMdFree>;
using TUniqueCipherCtx = std::unique_ptr<EVP_CIPHER_CTX, TCipherCtxFree>;
using TUniqueCipher = std::unique_ptr<EVP_CIPHER, TCipherFree>;

void Check(bool ok, const char* what)
{
    if (!ok)
        throw std::runtime_error(what);
}

TBytes RandomBytes(std::size_t count, std::uint32_t seed)
{
    std::mt19937 generator(seed);
    TBytes bytes(count);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(generator());
    return bytes;
}

const TBytes& CipherKey()
{
    static const TBytes key = RandomBytes(32, 1);
    return key;
}

const TBytes& CipherIV()
{
    static const TBytes iv = RandomBytes(16, 2);
    return iv;
}

// ---------------------------------------------------------------------------------------
// Key derivation: two passes of 2048 SHA-256 rounds for a 38-character key.

void KeyDerivationOurs(benchmark::State& state)
{
    const std::string keyText = "Kx7#pQ2vL9mZ4tR8wB1nC6yH3jF5sD0gA2eUo";  // 38 characters
    const std::span<const std::uint8_t> keyBytes(reinterpret_cast<const std::uint8_t*>(keyText.data()), keyText.size());
    const TBytes salt = RandomBytes(11, 3);
    TSecureBytes key;
    TSecureBytes iv;
    for (auto _ : state) {
        Check(TCryptoTestAccess::DeriveKeyAndIV(keyBytes, salt, key, iv), "DeriveKeyAndIV failed");
        benchmark::DoNotOptimize(key.data());
        benchmark::DoNotOptimize(iv.data());
    }
}

// 4096 SHA-256 rounds, each over the previous 32-byte digest, with one context and the
// algorithm fetched once.
void KeyDerivationFloor(benchmark::State& state)
{
    const TUniqueMd md(EVP_MD_fetch(nullptr, "SHA256", nullptr));
    const TUniqueMdCtx ctx(EVP_MD_CTX_new());
    Check(md && ctx, "SHA-256 unavailable");
    for (auto _ : state) {
        std::uint8_t digest[32] = {};
        for (int round = 0; round < 4096; ++round) {
            unsigned int length = 0;
            EVP_DigestInit_ex2(ctx.get(), md.get(), nullptr);
            EVP_DigestUpdate(ctx.get(), digest, sizeof digest);
            EVP_DigestFinal_ex(ctx.get(), digest, &length);
        }
        benchmark::DoNotOptimize(digest);
    }
}

// ---------------------------------------------------------------------------------------
// Cipher: TAes256Crypt between memory streams against one EVP pass over the same buffer.

// The destination is sized before the first iteration, as the floor's output buffer is, so each
// iteration measures the cipher and its stream copies, not the memory stream's growth.
void CipherEncryptOurs(benchmark::State& state)
{
    TMemoryStream source;
    const TBytes plain = RandomBytes(Sizes().CipherBytes, 4);
    source.WriteBuffer(plain.data(), static_cast<std::int64_t>(plain.size()));
    TMemoryStream dest;
    dest.SetSize(source.Size() + 16);
    for (auto _ : state) {
        TAes256Crypt cipher;
        cipher.Initialize(CipherKey());
        TBytes iv = CipherIV();
        source.SetPosition(0);
        dest.SetPosition(0);
        cipher.Encrypt(iv, source, dest);
        benchmark::DoNotOptimize(dest.Memory());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(plain.size()));
}

void CipherDecryptOurs(benchmark::State& state)
{
    TMemoryStream source;
    {
        const TBytes plain = RandomBytes(Sizes().CipherBytes, 4);
        TMemoryStream plainStream;
        plainStream.WriteBuffer(plain.data(), static_cast<std::int64_t>(plain.size()));
        plainStream.SetPosition(0);
        TAes256Crypt cipher;
        cipher.Initialize(CipherKey());
        TBytes iv = CipherIV();
        cipher.Encrypt(iv, plainStream, source);
    }
    TMemoryStream dest;
    dest.SetSize(source.Size());
    for (auto _ : state) {
        TAes256Crypt cipher;
        cipher.Initialize(CipherKey());
        TBytes iv = CipherIV();
        source.SetPosition(0);
        dest.SetPosition(0);
        cipher.Decrypt(iv, source, dest);
        benchmark::DoNotOptimize(dest.Memory());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(Sizes().CipherBytes));
}

// One AES-256-CBC pass with PKCS#7 padding from one buffer into another.
std::size_t EvpCipherPass(EVP_CIPHER* cipher, bool encrypt, const TBytes& in, TBytes& out)
{
    const TUniqueCipherCtx ctx(EVP_CIPHER_CTX_new());
    Check(ctx != nullptr, "EVP_CIPHER_CTX_new failed");
    Check(EVP_CipherInit_ex2(ctx.get(), cipher, CipherKey().data(), CipherIV().data(), encrypt ? 1 : 0, nullptr) == 1,
          "EVP_CipherInit_ex2 failed");
    int written = 0;
    int last = 0;
    Check(EVP_CipherUpdate(ctx.get(), out.data(), &written, in.data(), static_cast<int>(in.size())) == 1,
          "EVP_CipherUpdate failed");
    Check(EVP_CipherFinal_ex(ctx.get(), out.data() + written, &last) == 1, "EVP_CipherFinal_ex failed");
    return static_cast<std::size_t>(written + last);
}

// The same pass the way the chunked cipher must make it: each 32768-byte chunk copied from the
// source into an input buffer, run into an output buffer, copied on to the destination. Not a
// case of ours; it shows what the two copies alone cost against the single pass.
std::size_t EvpChunkedPass(EVP_CIPHER* cipher, bool encrypt, const TBytes& in, TBytes& out)
{
    constexpr std::size_t chunk = 32768;
    TSecureBytes input(chunk);
    TSecureBytes output(chunk + 16);
    const TUniqueCipherCtx ctx(EVP_CIPHER_CTX_new());
    Check(ctx != nullptr, "EVP_CIPHER_CTX_new failed");
    Check(EVP_CipherInit_ex2(ctx.get(), cipher, CipherKey().data(), CipherIV().data(), encrypt ? 1 : 0, nullptr) == 1,
          "EVP_CipherInit_ex2 failed");
    std::size_t written = 0;
    for (std::size_t read = 0; read < in.size(); read += chunk) {
        const std::size_t count = std::min(chunk, in.size() - read);
        std::memcpy(input.data(), in.data() + read, count);
        int produced = 0;
        Check(EVP_CipherUpdate(ctx.get(), output.data(), &produced, input.data(), static_cast<int>(count)) == 1,
              "EVP_CipherUpdate failed");
        std::memcpy(out.data() + written, output.data(), static_cast<std::size_t>(produced));
        written += static_cast<std::size_t>(produced);
    }
    int last = 0;
    Check(EVP_CipherFinal_ex(ctx.get(), output.data(), &last) == 1, "EVP_CipherFinal_ex failed");
    std::memcpy(out.data() + written, output.data(), static_cast<std::size_t>(last));
    return written + static_cast<std::size_t>(last);
}

TUniqueCipher FetchAes256Cbc()
{
    TUniqueCipher cipher(EVP_CIPHER_fetch(nullptr, "AES-256-CBC", nullptr));
    Check(cipher != nullptr, "AES-256-CBC unavailable");
    return cipher;
}

using TEvpPass = std::size_t (*)(EVP_CIPHER*, bool, const TBytes&, TBytes&);

void CipherEncryptEvp(benchmark::State& state, TEvpPass pass)
{
    const TUniqueCipher cipher = FetchAes256Cbc();
    const TBytes plain = RandomBytes(Sizes().CipherBytes, 4);
    TBytes out(plain.size() + 16);
    for (auto _ : state) {
        benchmark::DoNotOptimize(pass(cipher.get(), true, plain, out));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(plain.size()));
}

void CipherDecryptEvp(benchmark::State& state, TEvpPass pass)
{
    const TUniqueCipher cipher = FetchAes256Cbc();
    const TBytes plain = RandomBytes(Sizes().CipherBytes, 4);
    TBytes encrypted(plain.size() + 16);
    encrypted.resize(EvpCipherPass(cipher.get(), true, plain, encrypted));
    TBytes out(encrypted.size() + 16);
    for (auto _ : state) {
        benchmark::DoNotOptimize(pass(cipher.get(), false, encrypted, out));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(plain.size()));
}

void CipherEncryptFloor(benchmark::State& state)
{
    CipherEncryptEvp(state, EvpCipherPass);
}
void CipherDecryptFloor(benchmark::State& state)
{
    CipherDecryptEvp(state, EvpCipherPass);
}
void CipherEncryptChunked(benchmark::State& state)
{
    CipherEncryptEvp(state, EvpChunkedPass);
}
void CipherDecryptChunked(benchmark::State& state)
{
    CipherDecryptEvp(state, EvpChunkedPass);
}

// ---------------------------------------------------------------------------------------
// Base64 on one line, against libcrypto's block coder (which makes no lines either).

void Base64EncodeOurs(benchmark::State& state)
{
    const TBytes data = RandomBytes(Sizes().Base64Bytes, 5);
    for (auto _ : state) {
        std::string text =
            EncodeBase64Text(data.data(), static_cast<std::int32_t>(data.size()), TBase64FormattingOptions::None);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(data.size()));
}

void Base64EncodeFloor(benchmark::State& state)
{
    const TBytes data = RandomBytes(Sizes().Base64Bytes, 5);
    std::string text((data.size() + 2) / 3 * 4 + 1, '\0');
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), data.data(), static_cast<int>(data.size())));
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(data.size()));
}

void Base64DecodeOurs(benchmark::State& state)
{
    const TBytes data = RandomBytes(Sizes().Base64Bytes, 5);
    const std::string text =
        EncodeBase64Text(data.data(), static_cast<std::int32_t>(data.size()), TBase64FormattingOptions::None);
    Check(DecodeBase64Text(text) == data, "base64 does not round-trip");
    for (auto _ : state) {
        TBytes decoded = DecodeBase64Text(text);
        benchmark::DoNotOptimize(decoded.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(data.size()));
}

void Base64DecodeFloor(benchmark::State& state)
{
    const TBytes data = RandomBytes(Sizes().Base64Bytes, 5);
    std::string text((data.size() + 2) / 3 * 4 + 1, '\0');
    const int textLength =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), data.data(), static_cast<int>(data.size()));
    TBytes decoded(data.size() + 3);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            EVP_DecodeBlock(decoded.data(), reinterpret_cast<const unsigned char*>(text.data()), textLength));
        benchmark::DoNotOptimize(decoded.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(data.size()));
}

void RegisterCases()
{
    struct TCase {
        const char* Name;
        void (*Function)(benchmark::State&);
    };
    const TCase cases[] = {
        {"key_derivation/ours", KeyDerivationOurs},       {"key_derivation/floor", KeyDerivationFloor},
        {"cipher_encrypt/ours", CipherEncryptOurs},       {"cipher_encrypt/floor", CipherEncryptFloor},
        {"cipher_decrypt/ours", CipherDecryptOurs},       {"cipher_decrypt/floor", CipherDecryptFloor},
        {"cipher_encrypt/chunked", CipherEncryptChunked}, {"cipher_decrypt/chunked", CipherDecryptChunked},
        {"base64_encode/ours", Base64EncodeOurs},         {"base64_encode/floor", Base64EncodeFloor},
        {"base64_decode/ours", Base64DecodeOurs},         {"base64_decode/floor", Base64DecodeFloor},
    };
    for (const TCase& c : cases)
        benchmark::RegisterBenchmark(c.Name, c.Function)->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv)
{
    // --quick is ours, not Google Benchmark's: take it out before the library sees the arguments.
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--quick") {
            Sizes().CipherBytes = 1u << 20;
            Sizes().Base64Bytes = 64u << 10;
        } else {
            args.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 1;
    RegisterCases();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
