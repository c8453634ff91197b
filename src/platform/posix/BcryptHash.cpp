// Hash objects of our provider layer: SHA-256 and MD5, optionally reusable after each finish.

#include <memory>
#include <new>

#include "core/SecureZero.h"
#include "platform/posix/BcryptObjects.h"

namespace BcryptLayer {

namespace {

// Where the hash state goes: the caller's hash-object memory, or memory of ours when the
// caller hands over none. Nothing is constructed yet.
NTSTATUS PlaceHash(PUCHAR hashObject, ULONG hashObjectSize, THash*& hash) noexcept
{
    if (hashObject == nullptr && hashObjectSize == 0) {
        try {
            hash = std::make_unique<THash>().release();
        } catch (const std::bad_alloc&) {
            return StatusNoMemory;
        }
        hash->OwnedByLayer = true;
        return StatusSuccess;
    }
    if (hashObject == nullptr || hashObjectSize < sizeof(THash))
        return StatusBufferTooSmall;
    if (!FitsObject<THash>(hashObject, hashObjectSize))
        return StatusInvalidParameter;
    hash = std::construct_at(reinterpret_cast<THash*>(hashObject));
    return StatusSuccess;
}

// Frees the digest context (OpenSSL wipes it), wipes the hash state and, where the layer
// allocated it, returns its memory.
void ReleaseHash(THash* hash) noexcept
{
    EVP_MD_CTX_free(hash->Context);
    const bool owned = hash->OwnedByLayer;
    std::destroy_at(hash);
    SecureZero(hash, sizeof(THash));
    if (owned)
        std::default_delete<THash>()(hash);
}

}  // namespace

THash* AsHash(BCRYPT_HANDLE handle) noexcept
{
    auto* hash = static_cast<THash*>(handle);
    return (hash != nullptr && hash->Tag == HashTag) ? hash : nullptr;
}

}  // namespace BcryptLayer

using namespace BcryptLayer;

extern "C" NTSTATUS BCryptCreateHash(BCRYPT_ALG_HANDLE hAlgorithm, BCRYPT_HASH_HANDLE* phHash, PUCHAR pbHashObject,
                                     ULONG cbHashObject, PUCHAR pbSecret, ULONG cbSecret, ULONG dwFlags)
{
    if (const NTSTATUS planned = EnterCall("BCryptCreateHash"))
        return planned;
    const TProvider* provider = AsProvider(hAlgorithm);
    if (provider == nullptr || provider->Digest == nullptr)
        return StatusInvalidHandle;
    if (phHash == nullptr || (dwFlags & ~BCRYPT_HASH_REUSABLE_FLAG) != 0)
        return StatusInvalidParameter;
    *phHash = nullptr;
    // Keyed hashes are not offered; a secret that would silently go unused is refused instead.
    if (pbSecret != nullptr || cbSecret != 0)
        return StatusInvalidParameter;

    THash* hash = nullptr;
    if (const NTSTATUS status = PlaceHash(pbHashObject, cbHashObject, hash))
        return status;
    hash->Provider = provider;
    hash->Reusable = ((dwFlags | provider->OpenFlags) & BCRYPT_HASH_REUSABLE_FLAG) != 0;
    hash->Context = EVP_MD_CTX_new();
    if (hash->Context == nullptr || EVP_DigestInit_ex2(hash->Context, provider->Digest, nullptr) != 1) {
        ReleaseHash(hash);
        return StatusNoMemory;
    }
    NoteHashCreated(dwFlags);
    *phHash = hash;
    return LeaveCall("BCryptCreateHash");
}

extern "C" NTSTATUS BCryptHashData(BCRYPT_HASH_HANDLE hHash, PUCHAR pbInput, ULONG cbInput, ULONG dwFlags)
{
    if (const NTSTATUS planned = EnterCall("BCryptHashData"))
        return planned;
    THash* hash = AsHash(hHash);
    if (hash == nullptr || hash->Finished)
        return StatusInvalidHandle;
    if ((pbInput == nullptr && cbInput != 0) || dwFlags != 0)
        return StatusInvalidParameter;
    if (cbInput != 0 && EVP_DigestUpdate(hash->Context, pbInput, cbInput) != 1)
        return StatusUnsuccessful;
    return StatusSuccess;
}

extern "C" NTSTATUS BCryptFinishHash(BCRYPT_HASH_HANDLE hHash, PUCHAR pbOutput, ULONG cbOutput, ULONG dwFlags)
{
    if (const NTSTATUS planned = EnterCall("BCryptFinishHash"))
        return planned;
    THash* hash = AsHash(hHash);
    if (hash == nullptr || hash->Finished)
        return StatusInvalidHandle;
    if (pbOutput == nullptr || dwFlags != 0 || cbOutput != static_cast<ULONG>(EVP_MD_get_size(hash->Provider->Digest)))
        return StatusInvalidParameter;
    if (EVP_DigestFinal_ex(hash->Context, pbOutput, nullptr) != 1)
        return StatusUnsuccessful;
    // A reusable object starts over at once; the fetched digest keeps the restart cheap.
    if (!hash->Reusable)
        hash->Finished = true;
    else if (EVP_DigestInit_ex2(hash->Context, hash->Provider->Digest, nullptr) != 1)
        return StatusUnsuccessful;
    return StatusSuccess;
}

extern "C" NTSTATUS BCryptDestroyHash(BCRYPT_HASH_HANDLE hHash)
{
    const NTSTATUS planned = EnterCall("BCryptDestroyHash");
    THash* hash = AsHash(hHash);
    if (hash == nullptr)
        return planned != StatusSuccess ? planned : StatusInvalidHandle;
    // A planned failure is only reported: the hash state is released all the same.
    ReleaseHash(hash);
    return planned;
}
