// Algorithm providers, their properties and the random generator of our provider layer.

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include "core/SecureZero.h"
#include "core/UniqueHandle.h"
#include "platform/posix/BcryptObjects.h"

namespace BcryptLayer {

namespace {

struct TAlgorithmEntry {
    std::u16string_view Name;
    TAlgorithmKind Kind;
};

constexpr TAlgorithmEntry KnownAlgorithms[] = {
    {u"AES", TAlgorithmKind::Aes},
    {u"SHA256", TAlgorithmKind::Sha256},
    {u"MD5", TAlgorithmKind::Md5},
    {u"RNG", TAlgorithmKind::Rng},
};

constexpr ULONG SystemPreferredRngFlag = 0x00000002U;

char16_t AsciiUpper(char16_t c) noexcept
{
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// Algorithm and implementation names are matched without regard to letter case, as the
// platform's own provider does.
bool SameNameIgnoringCase(std::u16string_view left, std::u16string_view right) noexcept
{
    return left.size() == right.size() &&
           std::equal(left.begin(), left.end(), right.begin(),
                      [](char16_t a, char16_t b) { return AsciiUpper(a) == AsciiUpper(b); });
}

const TAlgorithmEntry* FindAlgorithm(LPCWSTR algId) noexcept
{
    if (algId == nullptr)
        return nullptr;
    const std::u16string_view name(algId);
    for (const TAlgorithmEntry& entry : KnownAlgorithms)
        if (SameNameIgnoringCase(entry.Name, name))
            return &entry;
    return nullptr;
}

bool IsHashKind(TAlgorithmKind kind) noexcept
{
    return kind == TAlgorithmKind::Sha256 || kind == TAlgorithmKind::Md5;
}

// Releases what a provider fetched and wipes the record before its memory goes back.
void ReleaseProvider(TProvider* provider) noexcept
{
    for (EVP_CIPHER* cipher : provider->Ciphers)
        EVP_CIPHER_free(cipher);
    EVP_MD_free(provider->Digest);
    SecureZero(provider, sizeof(TProvider));
    std::default_delete<TProvider>()(provider);
}

using TProviderOwner = TUniqueAny<TProvider*, &ReleaseProvider, nullptr>;

TProviderOwner MakeProvider() noexcept
{
    try {
        return TProviderOwner(std::make_unique<TProvider>().release());
    } catch (const std::bad_alloc&) {
        return TProviderOwner();
    }
}

[[nodiscard]] bool FetchAlgorithm(TProvider& provider) noexcept
{
    switch (provider.Kind) {
        case TAlgorithmKind::Aes:
            provider.Ciphers[0] = EVP_CIPHER_fetch(nullptr, "AES-128-CBC", nullptr);
            provider.Ciphers[1] = EVP_CIPHER_fetch(nullptr, "AES-192-CBC", nullptr);
            provider.Ciphers[2] = EVP_CIPHER_fetch(nullptr, "AES-256-CBC", nullptr);
            return provider.Ciphers[0] != nullptr && provider.Ciphers[1] != nullptr && provider.Ciphers[2] != nullptr;
        case TAlgorithmKind::Sha256:
            provider.Digest = EVP_MD_fetch(nullptr, "SHA256", nullptr);
            return provider.Digest != nullptr;
        case TAlgorithmKind::Md5:
            provider.Digest = EVP_MD_fetch(nullptr, "MD5", nullptr);
            return provider.Digest != nullptr;
        case TAlgorithmKind::Rng:
            return true;
    }
    return false;
}

NTSTATUS WriteUlongProperty(ULONG value, PUCHAR output, ULONG outputSize, ULONG* resultSize) noexcept
{
    *resultSize = sizeof(ULONG);
    if (output == nullptr)
        return StatusSuccess;
    if (outputSize < sizeof(ULONG))
        return StatusBufferTooSmall;
    std::memcpy(output, &value, sizeof(ULONG));
    return StatusSuccess;
}

NTSTATUS WriteTextProperty(std::u16string_view text, PUCHAR output, ULONG outputSize, ULONG* resultSize) noexcept
{
    const ULONG size = static_cast<ULONG>((text.size() + 1) * sizeof(char16_t));
    *resultSize = size;
    if (output == nullptr)
        return StatusSuccess;
    if (outputSize < size)
        return StatusBufferTooSmall;
    std::memcpy(output, text.data(), text.size() * sizeof(char16_t));
    std::memset(output + text.size() * sizeof(char16_t), 0, sizeof(char16_t));
    return StatusSuccess;
}

NTSTATUS ProviderProperty(const TProvider& provider, std::u16string_view property, PUCHAR output, ULONG outputSize,
                          ULONG* resultSize) noexcept
{
    const bool isCipher = provider.Kind == TAlgorithmKind::Aes;
    const bool isHash = IsHashKind(provider.Kind);
    if (property == BCRYPT_OBJECT_LENGTH && isCipher)
        return WriteUlongProperty(sizeof(TKey), output, outputSize, resultSize);
    if (property == BCRYPT_OBJECT_LENGTH && isHash)
        return WriteUlongProperty(sizeof(THash), output, outputSize, resultSize);
    if (property == BCRYPT_HASH_LENGTH && isHash)
        return WriteUlongProperty(static_cast<ULONG>(EVP_MD_get_size(provider.Digest)), output, outputSize, resultSize);
    if (property == BCRYPT_BLOCK_LENGTH && isCipher)
        return WriteUlongProperty(AesBlockLength, output, outputSize, resultSize);
    if (property == BCRYPT_BLOCK_LENGTH && isHash)
        return WriteUlongProperty(static_cast<ULONG>(EVP_MD_get_block_size(provider.Digest)), output, outputSize,
                                  resultSize);
    if (property == BCRYPT_CHAINING_MODE && isCipher)
        return WriteTextProperty(BCRYPT_CHAIN_MODE_CBC, output, outputSize, resultSize);
    return StatusNotSupported;
}

// Our keys and hashes answer the questions a caller may ask of them too.
NTSTATUS ObjectProperty(const TProvider& provider, std::u16string_view property, PUCHAR output, ULONG outputSize,
                        ULONG* resultSize) noexcept
{
    if (property == BCRYPT_OBJECT_LENGTH)
        return StatusNotSupported;
    return ProviderProperty(provider, property, output, outputSize, resultSize);
}

}  // namespace

TProvider* AsProvider(BCRYPT_HANDLE handle) noexcept
{
    auto* provider = static_cast<TProvider*>(handle);
    return (provider != nullptr && provider->Tag == ProviderTag) ? provider : nullptr;
}

}  // namespace BcryptLayer

using namespace BcryptLayer;

extern "C" NTSTATUS BCryptOpenAlgorithmProvider(BCRYPT_ALG_HANDLE* phAlgorithm, LPCWSTR pszAlgId,
                                                LPCWSTR pszImplementation, ULONG dwFlags)
{
    if (const NTSTATUS planned = EnterCall("BCryptOpenAlgorithmProvider"))
        return planned;
    if (phAlgorithm == nullptr || pszAlgId == nullptr)
        return StatusInvalidParameter;
    *phAlgorithm = nullptr;
    // OpenSSL registers its own clean-up at exit when it starts. Starting it before any handle
    // exists puts that clean-up after every closing that a static owner does at exit.
    if (OPENSSL_init_crypto(0, nullptr) != 1)
        return StatusUnsuccessful;
    if (pszImplementation != nullptr && !SameNameIgnoringCase(pszImplementation, MS_PRIMITIVE_PROVIDER))
        return StatusNotFound;
    const TAlgorithmEntry* algorithm = FindAlgorithm(pszAlgId);
    if (algorithm == nullptr)
        return StatusNotFound;
    // Keyed hashes are not part of this layer; reuse only means something for hashes.
    if ((dwFlags & ~BCRYPT_HASH_REUSABLE_FLAG) != 0)
        return StatusNotSupported;
    if ((dwFlags & BCRYPT_HASH_REUSABLE_FLAG) != 0 && !IsHashKind(algorithm->Kind))
        return StatusInvalidParameter;

    TProviderOwner owner = MakeProvider();
    if (!owner)
        return StatusNoMemory;
    TProvider& provider = *owner.Get();
    provider.Kind = algorithm->Kind;
    provider.OpenFlags = dwFlags;
    if (!FetchAlgorithm(provider))
        return StatusNotSupported;
    NoteOpened(algorithm->Name.data(), pszImplementation, dwFlags);
    *phAlgorithm = owner.Release();
    return StatusSuccess;
}

extern "C" NTSTATUS BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE hAlgorithm, ULONG /*dwFlags*/)
{
    const NTSTATUS planned = EnterCall("BCryptCloseAlgorithmProvider");
    TProvider* provider = AsProvider(hAlgorithm);
    if (provider == nullptr)
        return planned != StatusSuccess ? planned : StatusInvalidHandle;
    NoteClosed(hAlgorithm);
    // A planned failure is only reported: the provider is released all the same.
    ReleaseProvider(provider);
    return planned;
}

extern "C" NTSTATUS BCryptSetProperty(BCRYPT_HANDLE hObject, LPCWSTR pszProperty, PUCHAR pbInput, ULONG cbInput,
                                      ULONG /*dwFlags*/)
{
    if (const NTSTATUS planned = EnterCall("BCryptSetProperty"))
        return planned;
    TProvider* provider = AsProvider(hObject);
    if (provider == nullptr)
        return AsKey(hObject) != nullptr || AsHash(hObject) != nullptr ? StatusNotSupported : StatusInvalidHandle;
    if (pszProperty == nullptr || pbInput == nullptr)
        return StatusInvalidParameter;
    if (std::u16string_view(pszProperty) != BCRYPT_CHAINING_MODE || provider->Kind != TAlgorithmKind::Aes)
        return StatusNotSupported;
    // The value is a UTF-16 text with its terminating null; CBC is the one mode we offer.
    const std::u16string_view cbc = BCRYPT_CHAIN_MODE_CBC;
    const ULONG cbcSize = static_cast<ULONG>((cbc.size() + 1) * sizeof(char16_t));
    if (cbInput != cbcSize)
        return cbInput < cbcSize ? StatusInvalidParameter : StatusNotSupported;
    char16_t value[sizeof(BCRYPT_CHAIN_MODE_CBC) / sizeof(char16_t)] = {};
    std::memcpy(value, pbInput, cbcSize);
    if (std::u16string_view(value, cbc.size()) != cbc || value[cbc.size()] != u'\0')
        return StatusNotSupported;
    return StatusSuccess;
}

extern "C" NTSTATUS BCryptGetProperty(BCRYPT_HANDLE hObject, LPCWSTR pszProperty, PUCHAR pbOutput, ULONG cbOutput,
                                      ULONG* pcbResult, ULONG /*dwFlags*/)
{
    if (const NTSTATUS planned = EnterCall("BCryptGetProperty"))
        return planned;
    if (pszProperty == nullptr || pcbResult == nullptr)
        return StatusInvalidParameter;
    const std::u16string_view property(pszProperty);
    if (const TProvider* provider = AsProvider(hObject))
        return ProviderProperty(*provider, property, pbOutput, cbOutput, pcbResult);
    if (const TKey* key = AsKey(hObject))
        return ObjectProperty(*key->Provider, property, pbOutput, cbOutput, pcbResult);
    if (const THash* hash = AsHash(hObject))
        return ObjectProperty(*hash->Provider, property, pbOutput, cbOutput, pcbResult);
    return StatusInvalidHandle;
}

extern "C" NTSTATUS BCryptGenRandom(BCRYPT_ALG_HANDLE hAlgorithm, PUCHAR pbBuffer, ULONG cbBuffer, ULONG dwFlags)
{
    if (const NTSTATUS planned = EnterCall("BCryptGenRandom"))
        return planned;
    if ((dwFlags & ~SystemPreferredRngFlag) != 0)
        return StatusInvalidParameter;
    if ((dwFlags & SystemPreferredRngFlag) != 0) {
        if (hAlgorithm != nullptr)
            return StatusInvalidParameter;
    } else {
        const TProvider* provider = AsProvider(hAlgorithm);
        if (provider == nullptr)
            return StatusInvalidHandle;
        if (provider->Kind != TAlgorithmKind::Rng)
            return StatusInvalidHandle;
    }
    if (pbBuffer == nullptr && cbBuffer != 0)
        return StatusInvalidParameter;
    // RAND_bytes takes an int; a larger request is served in pieces.
    ULONG done = 0;
    while (done < cbBuffer) {
        const ULONG piece = std::min<ULONG>(cbBuffer - done, INT_MAX);
        if (RAND_bytes(pbBuffer + done, static_cast<int>(piece)) != 1)
            return StatusUnsuccessful;
        done += piece;
    }
    return StatusSuccess;
}
