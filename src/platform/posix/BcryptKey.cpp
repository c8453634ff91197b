// Symmetric keys of our provider layer: import from a key data blob, and release.

#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include "core/SecureZero.h"
#include "platform/posix/BcryptObjects.h"

namespace BcryptLayer {

namespace {

constexpr ULONG KeyBlobHeaderSize = sizeof(BCRYPT_KEY_DATA_BLOB_HEADER);

const EVP_CIPHER* CipherForKeyLength(const TProvider& provider, ULONG keyLength) noexcept
{
    switch (keyLength) {
        case 16:
            return provider.Ciphers[0];
        case 24:
            return provider.Ciphers[1];
        case 32:
            return provider.Ciphers[2];
        default:
            return nullptr;
    }
}

// Where the key state goes: the caller's key-object memory, or memory of ours when the caller
// hands over none. Nothing is constructed yet.
NTSTATUS PlaceKey(PUCHAR keyObject, ULONG keyObjectSize, TKey*& key) noexcept
{
    if (keyObject == nullptr && keyObjectSize == 0) {
        try {
            key = std::make_unique<TKey>().release();
        } catch (const std::bad_alloc&) {
            return StatusNoMemory;
        }
        key->OwnedByLayer = true;
        return StatusSuccess;
    }
    if (keyObject == nullptr || keyObjectSize < sizeof(TKey))
        return StatusBufferTooSmall;
    if (!FitsObject<TKey>(keyObject, keyObjectSize))
        return StatusInvalidParameter;
    key = std::construct_at(reinterpret_cast<TKey*>(keyObject));
    return StatusSuccess;
}

// Frees the cipher context (OpenSSL wipes it), wipes the key state and, where the layer
// allocated it, returns its memory.
void ReleaseKey(TKey* key) noexcept
{
    EVP_CIPHER_CTX_free(key->Context);
    const bool owned = key->OwnedByLayer;
    const bool wipe = owned || WipesReleasedKeys();
    // Left in place only for a test: no longer a live key, but its bytes stay.
    key->Tag = 0;
    key->Context = nullptr;
    std::destroy_at(key);
    if (wipe)
        SecureZero(key, sizeof(TKey));
    if (owned)
        std::default_delete<TKey>()(key);
}

}  // namespace

TKey* AsKey(BCRYPT_HANDLE handle) noexcept
{
    auto* key = static_cast<TKey*>(handle);
    return (key != nullptr && key->Tag == KeyTag) ? key : nullptr;
}

}  // namespace BcryptLayer

using namespace BcryptLayer;

extern "C" NTSTATUS BCryptImportKey(BCRYPT_ALG_HANDLE hAlgorithm, BCRYPT_KEY_HANDLE hImportKey, LPCWSTR pszBlobType,
                                    BCRYPT_KEY_HANDLE* phKey, PUCHAR pbKeyObject, ULONG cbKeyObject, PUCHAR pbInput,
                                    ULONG cbInput, ULONG dwFlags)
{
    if (const NTSTATUS planned = EnterCall("BCryptImportKey"))
        return planned;
    const TProvider* provider = AsProvider(hAlgorithm);
    if (provider == nullptr || provider->Kind != TAlgorithmKind::Aes)
        return StatusInvalidHandle;
    if (phKey == nullptr || pszBlobType == nullptr || pbInput == nullptr || dwFlags != 0)
        return StatusInvalidParameter;
    *phKey = nullptr;
    if (hImportKey != nullptr || std::u16string_view(pszBlobType) != BCRYPT_KEY_DATA_BLOB)
        return StatusNotSupported;
    if (cbInput < KeyBlobHeaderSize)
        return StatusInvalidParameter;

    BCRYPT_KEY_DATA_BLOB_HEADER header;
    std::memcpy(&header, pbInput, KeyBlobHeaderSize);
    if (header.dwMagic != BCRYPT_KEY_DATA_BLOB_MAGIC || header.dwVersion != BCRYPT_KEY_DATA_BLOB_VERSION1 ||
        header.cbKeyData != cbInput - KeyBlobHeaderSize)
        return StatusInvalidParameter;
    const EVP_CIPHER* cipher = CipherForKeyLength(*provider, header.cbKeyData);
    if (cipher == nullptr)
        return StatusInvalidParameter;

    TKey* key = nullptr;
    if (const NTSTATUS status = PlaceKey(pbKeyObject, cbKeyObject, key))
        return status;
    key->Provider = provider;
    key->KeyLength = header.cbKeyData;
    std::memcpy(key->Key, pbInput + KeyBlobHeaderSize, header.cbKeyData);
    key->Context = EVP_CIPHER_CTX_new();
    if (key->Context == nullptr || EVP_CipherInit_ex2(key->Context, cipher, key->Key, nullptr, 1, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(key->Context, 0) != 1) {
        ReleaseKey(key);
        return StatusNoMemory;
    }
    key->Direction = 1;
    *phKey = key;
    return LeaveCall("BCryptImportKey");
}

extern "C" NTSTATUS BCryptDestroyKey(BCRYPT_KEY_HANDLE hKey)
{
    const NTSTATUS planned = EnterCall("BCryptDestroyKey");
    TKey* key = AsKey(hKey);
    if (key == nullptr)
        return planned != StatusSuccess ? planned : StatusInvalidHandle;
    // A planned failure is only reported: the key is released all the same.
    ReleaseKey(key);
    return planned;
}
