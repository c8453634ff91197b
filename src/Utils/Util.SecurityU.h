#pragma once
// Classes over the platform's cryptography provider: the provider-handle cache and status
// errors, the symmetric cipher, the random number generator and the hash algorithms.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "core/Bytes.h"
#include "core/Exceptions.h"
#include "rtl/Stream.h"

// Source file named in the assertion failures of this unit.
inline constexpr const char16_t* SecurityUnitSourceFile = u"Utils\\Util.SecurityU";

// A provider call that returned a status other than 0. The status is in ErrorCode; the
// operating-system error code of the base stays 0.
class ENTStatusOSError : public EOSError {
public:
    ENTStatusOSError(std::u16string message, std::uint32_t status) : EOSError(std::move(message), 0), ErrorCode(status)
    {
    }

    // Hides EOSError::ErrorCode, which stays 0: a handler that catches EOSError reads 0 for a
    // provider failure (docs/ERRORS.md).
    std::uint32_t ErrorCode;
    std::u16string FunctionName;  // nothing reads it; the name is part of the message
};

// Raises ENTStatusOSError with the message "<name>:<status as signed decimal>".
[[noreturn]] void RaiseNTStatusError(std::int32_t status, const std::u16string& name);

// ---------------------------------------------------------------------------------------
// Provider-handle cache: one provider per class name and process, closed at unit end.

using TProviderHandle = std::uintptr_t;

struct TAlgorithmHandle {
    std::u16string ClassName;
    TProviderHandle Handle = 0;
};

using TAlgorithmSetup = std::function<void(TProviderHandle)>;

// The provider cached under className, opened with algId and flags (and set up once) on first
// demand. Safe under concurrent first use; never returns 0. Raises ENTStatusOSError when the
// provider cannot be opened, and what setup raises (the opened provider stays cached then).
TProviderHandle AcquireAlgorithmHandle(const std::u16string& className, const std::u16string& algId, std::int32_t flags,
                                       const TAlgorithmSetup& setup = {});
// The cached handle of className, or 0. Never raises.
TProviderHandle FindAlgorithmHandle(const std::u16string& className);
// Closes every cached provider in the order of opening and empties the cache. Runs at unit
// end; tests may call it to start from an empty cache.
void CloseAlgorithmHandles();
// A copy of the cache's entries, in order (for tests and diagnostics).
std::vector<TAlgorithmHandle> AlgorithmHandlesSnapshot();

// ---------------------------------------------------------------------------------------
// Symmetric cipher: CBC over the provider, keyed with raw bytes, streams in fixed chunks with
// PKCS#7 padding on the final chunk.

class TSymmetricCrypt {
public:
    TSymmetricCrypt(std::u16string algId, std::int32_t algFlags, std::int32_t keyBitSize_, std::int32_t blockBitSize_,
                    std::int32_t internalBufferSize);
    TSymmetricCrypt(const TSymmetricCrypt&) = delete;
    TSymmetricCrypt& operator=(const TSymmetricCrypt&) = delete;
    // Destroys the key. A failed destruction raises EAssertionFailed "BCryptDestroyKey: <status>"
    // out of the destructor, unless another exception is already propagating.
    virtual ~TSymmetricCrypt() noexcept(false);

    // The cache key: the most-derived class's name.
    virtual std::u16string ClassName() const { return u"TSymmetricCrypt"; }

    // Opens the provider (once per process) and imports the key, replacing any earlier one.
    // Raises ENTStatusOSError when the provider refuses (a key of the wrong size included: status
    // 0, message "invalid key size. expect <bits>, actual <bits>."), and EAssertionFailed when a
    // new key handle cannot be destroyed after that failure.
    virtual void Initialize(std::span<const std::uint8_t> key);
    // Random IV of the block size. Raises EAssertionFailed before Initialize, ENTStatusOSError
    // when the random generator fails.
    TBytes GenerateIV() const;
    // Reads source from its position to its end and writes to dest at its position. iv is the
    // caller's array, used in place; afterwards it holds the last ciphertext block. Raise
    // EAssertionFailed before Initialize, ENTStatusOSError when the provider refuses a chunk
    // (wrong padding on decryption, for one), EStreamError or EOSError from the streams. dest
    // may then hold the chunks written before the failure.
    void Encrypt(std::span<std::uint8_t> iv, TStream& source, TStream& dest);
    void Decrypt(std::span<std::uint8_t> iv, TStream& source, TStream& dest);

    std::int32_t IVBitSize() const noexcept { return FIVBitSize; }
    std::int32_t KeyBitSize() const noexcept { return FKeyBitSize; }
    std::int32_t BlockBitSize() const noexcept { return FBlockBitSize; }

protected:
    virtual void InitializeInner();
    std::int64_t ReadChunk(TStream& stream, TSecureBytes& buffer) const;

    TProviderHandle FhAlgorithm = 0;
    TProviderHandle FhKey = 0;
    TSecureBytes FKeyObject;
    std::u16string FAlgId;
    std::int32_t FAlgFlags = 0;
    std::int32_t FInternalBufferSize = 0;
    std::int32_t FIVBitSize = 0;
    std::int32_t FKeyBitSize = 0;
    std::int32_t FBlockBitSize = 0;

private:
    enum class TDirection { Encrypt, Decrypt };
    void Run(TDirection direction, std::span<std::uint8_t> iv, TStream& source, TStream& dest);

    int FUncaughtAtConstruction;
};

// AES with a 256-bit key, 128-bit blocks and a 32768-byte internal buffer.
class TAes256Crypt : public TSymmetricCrypt {
public:
    TAes256Crypt();
    std::u16string ClassName() const override { return u"TAes256Crypt"; }
};

// ---------------------------------------------------------------------------------------
// Random bytes from the provider's "RNG" algorithm.

class TRandomNumberGenerator {
public:
    TRandomNumberGenerator() = default;
    virtual ~TRandomNumberGenerator() = default;

    virtual std::u16string ClassName() const { return u"TRandomNumberGenerator"; }
    // Opens the provider (once per process); raises ENTStatusOSError when it cannot.
    virtual void Initialize();
    // Overwrites every byte of data with random bytes. Raises EAssertionFailed for empty data or
    // before Initialize, ENTStatusOSError when the provider fails.
    void GetBytes(std::span<std::uint8_t> data);

protected:
    TProviderHandle FhAlgorithm = 0;
};

// ---------------------------------------------------------------------------------------
// Hash algorithms.

class THashAlgorithm {
public:
    THashAlgorithm(std::u16string algId, std::int32_t algFlags);
    THashAlgorithm(const THashAlgorithm&) = delete;
    THashAlgorithm& operator=(const THashAlgorithm&) = delete;
    virtual ~THashAlgorithm();

    virtual std::u16string ClassName() const { return u"THashAlgorithm"; }
    // Opens the provider (once per process) and sizes the hash object; raises ENTStatusOSError
    // when the provider refuses, leaving the object uninitialized.
    virtual void Initialize();

    // Every hash raises EAssertionFailed before Initialize and when the hash handle cannot be
    // destroyed, ENTStatusOSError when the provider refuses, and what a stream's Read raises.
    TBytes Hash(std::span<const std::uint8_t> input);
    TBytes Hash(std::span<const std::uint8_t> input, std::span<const std::uint8_t> secret);
    // Hashes the stream from its position to its end.
    TBytes Hash(TStream& input);
    TBytes Hash(TStream& input, std::span<const std::uint8_t> secret);

    std::int32_t HashLength() const noexcept { return FHashLength; }

protected:
    TProviderHandle FhAlgorithm = 0;
    TSecureBytes FHashObject;
    std::int32_t FHashLength = 0;
    std::u16string FAlgId;
    std::int32_t FAlgFlags = 0;
};

class TSHA256 : public THashAlgorithm {
public:
    TSHA256() : THashAlgorithm(u"SHA256", 0) {}
    std::u16string ClassName() const override { return u"TSHA256"; }
};

// MD5 for the text digest of the parameter block and the error log.
class TMD5 : public THashAlgorithm {
public:
    TMD5() : THashAlgorithm(u"MD5", 0) {}
    std::u16string ClassName() const override { return u"TMD5"; }
};

// SHA-256 applied count times: to the input, then to each previous digest.
class TSHA256Repeatable : public TSHA256 {
public:
    TSHA256Repeatable();
    std::u16string ClassName() const override { return u"TSHA256Repeatable"; }

    // Nothing for count <= 0. Raises as THashAlgorithm::Hash.
    TSecureBytes RepeatHash(std::span<const std::uint8_t> input, std::int32_t count);
    TSecureBytes RepeatHash(std::span<const std::uint8_t> input, std::span<const std::uint8_t> secret,
                            std::int32_t count);

    bool Reusable() const noexcept { return FReusable; }

private:
    TSecureBytes RepeatHashReusable(std::span<const std::uint8_t> input, std::span<const std::uint8_t> secret,
                                    std::int32_t count);
    TSecureBytes RepeatHashPerRound(std::span<const std::uint8_t> input, std::span<const std::uint8_t> secret,
                                    std::int32_t count);

    bool FReusable;
};
