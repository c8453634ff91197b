#pragma once
// The objects behind the handles of our provider layer, shared by its Bcrypt*.cpp files only.
// Provider handles live on the heap; key and hash states live in the memory the caller hands
// over as key or hash object, as with the real provider, so their size is what "ObjectLength"
// reports.

#include <cstddef>
#include <cstdint>

#include <openssl/evp.h>

#include "platform/Bcrypt.h"

namespace BcryptLayer {

inline constexpr NTSTATUS StatusSuccess = 0;
inline constexpr NTSTATUS StatusUnsuccessful = static_cast<NTSTATUS>(0xC0000001U);
inline constexpr NTSTATUS StatusInvalidHandle = static_cast<NTSTATUS>(0xC0000008U);
inline constexpr NTSTATUS StatusInvalidParameter = static_cast<NTSTATUS>(0xC000000DU);
inline constexpr NTSTATUS StatusNoMemory = static_cast<NTSTATUS>(0xC0000017U);
inline constexpr NTSTATUS StatusBufferTooSmall = static_cast<NTSTATUS>(0xC0000023U);
inline constexpr NTSTATUS StatusDataError = static_cast<NTSTATUS>(0xC000003EU);
inline constexpr NTSTATUS StatusNotSupported = static_cast<NTSTATUS>(0xC00000BBU);
inline constexpr NTSTATUS StatusInvalidBufferSize = static_cast<NTSTATUS>(0xC0000206U);
inline constexpr NTSTATUS StatusNotFound = static_cast<NTSTATUS>(0xC0000225U);

inline constexpr ULONG AesBlockLength = 16;

enum class TAlgorithmKind : std::uint32_t { Aes, Sha256, Md5, Rng };

// Tags that tell a live object of ours from anything else a caller may pass as a handle.
inline constexpr std::uint32_t ProviderTag = 0x50524F56U;
inline constexpr std::uint32_t KeyTag = 0x4B455920U;
inline constexpr std::uint32_t HashTag = 0x48415348U;

struct TProvider {
    std::uint32_t Tag = ProviderTag;
    TAlgorithmKind Kind = TAlgorithmKind::Rng;
    ULONG OpenFlags = 0;
    // Fetched once per provider: a fetch costs more than hashing a short input.
    // AES with 128-, 192- and 256-bit keys, in that order.
    EVP_CIPHER* Ciphers[3] = {};
    EVP_MD* Digest = nullptr;
};

struct TKey {
    std::uint32_t Tag = KeyTag;
    const TProvider* Provider = nullptr;
    // Set when the caller handed over no key-object memory and the layer allocated it.
    bool OwnedByLayer = false;
    EVP_CIPHER_CTX* Context = nullptr;
    // Which direction the context's key schedule is set up for: 1 encrypt, 0 decrypt, -1 none.
    int Direction = -1;
    ULONG KeyLength = 0;
    std::uint8_t Key[32] = {};
};

struct THash {
    std::uint32_t Tag = HashTag;
    const TProvider* Provider = nullptr;
    bool OwnedByLayer = false;
    EVP_MD_CTX* Context = nullptr;
    bool Reusable = false;
    bool Finished = false;
};

// Checked views of the handles; nullptr when the handle is not a live object of that kind.
TProvider* AsProvider(BCRYPT_HANDLE handle) noexcept;
TKey* AsKey(BCRYPT_HANDLE handle) noexcept;
THash* AsHash(BCRYPT_HANDLE handle) noexcept;

// Whether memory handed over as a key or hash object can hold an object of type T.
template <typename T>
bool FitsObject(PUCHAR memory, ULONG size) noexcept
{
    return memory != nullptr && size >= sizeof(T) && reinterpret_cast<std::uintptr_t>(memory) % alignof(T) == 0;
}

// Entry of every call: counts it and, when test hooks are installed, returns a planned failure
// status (0 when the call is to do its work).
NTSTATUS EnterCall(const char* function) noexcept;
// End of a call that made a key or a hash and handed it out: a planned failure status that the
// call returns although it did its work (0: none).
NTSTATUS LeaveCall(const char* function) noexcept;
// A provider was opened for the algorithm with this canonical name ("AES", "SHA256", ...), with
// the implementation name (nullptr: none) and the flags the caller passed.
void NoteOpened(const char16_t* algId, const char16_t* implementation, ULONG flags) noexcept;
// A provider handle is being closed.
void NoteClosed(void* handle) noexcept;
// A hash object was created with these flags.
void NoteHashCreated(ULONG flags) noexcept;
// Whether a released key is wiped in the caller's key-object memory, as by default; a test may
// have it left there to see whether the key's owner wipes that memory itself.
bool WipesReleasedKeys() noexcept;

// The bookkeeping behind the three calls above. None is installed in the programs; the test
// hooks (BcryptTesting.cpp, library corvane_bcrypt_testing) install theirs when a test program
// links them. Every member is called only while installed and must not raise.
struct TCallHooks {
    NTSTATUS (*EnterCall)(const char* function) noexcept;
    NTSTATUS (*LeaveCall)(const char* function) noexcept;
    void (*NoteOpened)(const char16_t* algId, const char16_t* implementation, ULONG flags) noexcept;
    void (*NoteClosed)(void* handle) noexcept;
    void (*NoteHashCreated)(ULONG flags) noexcept;
    bool (*WipesReleasedKeys)() noexcept;
};
// Installs hooks (nullptr: none). hooks must live until the process ends.
void InstallCallHooks(const TCallHooks* hooks) noexcept;

}  // namespace BcryptLayer
