#include "Utils/Util.SecurityU.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <mutex>
#include <utility>

#include "core/Text.h"
#include "platform/Bcrypt.h"
#include "platform/UniqueHandle.h"
#include "platform/WindowsVersion.h"

namespace {

// Names and values the provider calls take.
constexpr const char16_t* PrimitiveProvider = u"Microsoft Primitive Provider";
constexpr const char16_t* ObjectLengthProperty = u"ObjectLength";
constexpr const char16_t* HashDigestLengthProperty = u"HashDigestLength";
constexpr const char16_t* ChainingModeProperty = u"ChainingMode";
constexpr char16_t ChainingModeCbc[] = u"ChainingModeCBC";
constexpr const char16_t* KeyDataBlob = u"KeyDataBlob";
constexpr ULONG KeyDataBlobMagic = 0x4D42444BU;
constexpr ULONG KeyDataBlobVersion1 = 1;
constexpr ULONG BlockPadding = 1;
constexpr ULONG HashReusableFlag = 0x20;
constexpr std::int32_t HashStreamBufferSize = 32768;

// The texts of the assertions, made once: an assertion that holds then costs no string.
const std::u16string MustInitialize = u"must initialize.";
const std::u16string BufferSizeNotBlockMultiple = u"buffer size must block size multiple.";
const std::u16string AssertSourceFile = SecurityUnitSourceFile;

BCRYPT_ALG_HANDLE AlgHandle(TProviderHandle handle) noexcept
{
    return reinterpret_cast<BCRYPT_ALG_HANDLE>(handle);
}
BCRYPT_KEY_HANDLE KeyHandle(TProviderHandle handle) noexcept
{
    return reinterpret_cast<BCRYPT_KEY_HANDLE>(handle);
}

PUCHAR Bytes(std::span<const std::uint8_t> bytes) noexcept
{
    return bytes.empty() ? nullptr : const_cast<PUCHAR>(bytes.data());
}

// Owners of one key or hash handle. Their closing only runs for a handle whose explicit clean-up
// (below, with its assertion) was never reached, so it ignores the status.
using TUniqueKey = TUniqueAny<BCRYPT_KEY_HANDLE, &BCryptDestroyKey, nullptr>;
using TUniqueHash = TUniqueAny<BCRYPT_HASH_HANDLE, &BCryptDestroyHash, nullptr>;

void CloseAlgorithmProvider(BCRYPT_ALG_HANDLE handle) noexcept
{
    BCryptCloseAlgorithmProvider(handle, 0);
}

using TUniqueAlgorithm = TUniqueAny<BCRYPT_ALG_HANDLE, &CloseAlgorithmProvider, nullptr>;

// The clean-up whose failure is raised: an assertion failure that takes the place of the
// result, or of the failure already on its way out.
void DestroyHashOrAssert(TUniqueHash& hash, int line)
{
    const NTSTATUS status = BCryptDestroyHash(hash.Release());
    if (status != 0)
        throw EAssertionFailed(u"BCryptDestroyHash: " + IntToStr(status), SecurityUnitSourceFile, line);
}

ULONG QueryUlongProperty(TProviderHandle handle, const char16_t* property)
{
    ULONG value = 0;
    ULONG resultLength = 0;
    const NTSTATUS status = BCryptGetProperty(AlgHandle(handle), PlatformText(property),
                                              reinterpret_cast<PUCHAR>(&value), sizeof(value), &resultLength, 0);
    if (status != 0)
        RaiseNTStatusError(status, u"BCryptGetProperty");
    return value;
}

// The provider takes ULONG lengths; larger inputs go in pieces.
void HashData(BCRYPT_HASH_HANDLE hash, std::span<const std::uint8_t> data)
{
    do {
        const std::size_t piece = std::min<std::size_t>(data.size(), 0x80000000U);
        const NTSTATUS status = BCryptHashData(hash, Bytes(data.first(piece)), static_cast<ULONG>(piece), 0);
        if (status != 0)
            RaiseNTStatusError(status, u"BCryptHashData");
        data = data.subspan(piece);
    } while (!data.empty());
}

template <typename TDigest>
void FinishHash(BCRYPT_HASH_HANDLE hash, TDigest& digest)
{
    const NTSTATUS status = BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
    if (status != 0)
        RaiseNTStatusError(status, u"BCryptFinishHash");
}

// ---------------------------------------------------------------------------------------
// The provider-handle table. It lives as long as the process; the lock is always taken, which
// keeps readers away from a table that is growing and from an entry still being set up.

std::recursive_mutex AlgorithmHandlesLock;
std::vector<TAlgorithmHandle> AlgorithmHandles;

// Closes the cached providers when the process ends. Made at the first opening, so that it
// goes before anything the provider itself set up on its way in.
struct TAlgorithmHandlesCloser {
    ~TAlgorithmHandlesCloser() { CloseAlgorithmHandles(); }
};

void CloseAlgorithmHandlesAtUnitEnd()
{
    static TAlgorithmHandlesCloser closer;
}

TProviderHandle FindEntry(const std::u16string& className) noexcept
{
    for (const TAlgorithmHandle& entry : AlgorithmHandles)
        if (entry.ClassName == className && entry.Handle != 0)
            return entry.Handle;
    return 0;
}

}  // namespace

void RaiseNTStatusError(std::int32_t status, const std::u16string& name)
{
    throw ENTStatusOSError(name + u":" + IntToStr(status), static_cast<std::uint32_t>(status));
}

TProviderHandle FindAlgorithmHandle(const std::u16string& className)
{
    std::lock_guard guard(AlgorithmHandlesLock);
    return FindEntry(className);
}

TProviderHandle AcquireAlgorithmHandle(const std::u16string& className, const std::u16string& algId, std::int32_t flags,
                                       const TAlgorithmSetup& setup)
{
    std::lock_guard guard(AlgorithmHandlesLock);
    if (const TProviderHandle cached = FindEntry(className))
        return cached;

    BCRYPT_ALG_HANDLE opened = nullptr;
    const NTSTATUS status = BCryptOpenAlgorithmProvider(&opened, PlatformText(algId.c_str()),
                                                        PlatformText(PrimitiveProvider), static_cast<ULONG>(flags));
    if (status != 0)
        RaiseNTStatusError(status, u"BCryptOpenAlgorithmProvider");
    // Closed again should the table fail to take it.
    TUniqueAlgorithm provider(opened);
    CloseAlgorithmHandlesAtUnitEnd();
    AlgorithmHandles.push_back(TAlgorithmHandle{className, reinterpret_cast<TProviderHandle>(opened)});
    const auto handle = reinterpret_cast<TProviderHandle>(provider.Release());
    // The entry stays even when the set-up fails: the provider is open and owned by the table.
    if (setup)
        setup(handle);
    return handle;
}

void CloseAlgorithmHandles()
{
    std::lock_guard guard(AlgorithmHandlesLock);
    for (TAlgorithmHandle& entry : AlgorithmHandles) {
        if (entry.Handle != 0)
            BCryptCloseAlgorithmProvider(AlgHandle(entry.Handle), 0);
        entry.Handle = 0;
    }
    AlgorithmHandles.clear();
}

std::vector<TAlgorithmHandle> AlgorithmHandlesSnapshot()
{
    std::lock_guard guard(AlgorithmHandlesLock);
    return AlgorithmHandles;
}

// ---------------------------------------------------------------------------------------
// TSymmetricCrypt

TSymmetricCrypt::TSymmetricCrypt(std::u16string algId, std::int32_t algFlags, std::int32_t keyBitSize_,
                                 std::int32_t blockBitSize_, std::int32_t internalBufferSize)
    : FAlgId(std::move(algId)),
      FAlgFlags(algFlags),
      FInternalBufferSize(internalBufferSize),
      FIVBitSize(blockBitSize_),
      FKeyBitSize(keyBitSize_),
      FBlockBitSize(blockBitSize_),
      FUncaughtAtConstruction(std::uncaught_exceptions())
{
    // A block of no bytes or an empty buffer would divide by zero or never read the source.
    const std::int32_t blockBytes = blockBitSize_ / 8;
    Assert(blockBytes > 0 && internalBufferSize > 0 && internalBufferSize % blockBytes == 0, BufferSizeNotBlockMultiple,
           AssertSourceFile, 580);
}

TSymmetricCrypt::~TSymmetricCrypt() noexcept(false)
{
    NTSTATUS status = 0;
    if (FhKey != 0) {
        status = BCryptDestroyKey(KeyHandle(FhKey));
        FhKey = 0;
    }
    WipeBytes(FKeyObject);
    // Raised only when no other exception is unwinding through this object's owner.
    if (status != 0 && std::uncaught_exceptions() <= FUncaughtAtConstruction)
        throw EAssertionFailed(u"BCryptDestroyKey: " + IntToStr(status), SecurityUnitSourceFile, 606);
}

void TSymmetricCrypt::InitializeInner()
{
    if (FhAlgorithm != 0)
        return;
    FhAlgorithm = AcquireAlgorithmHandle(ClassName(), FAlgId, FAlgFlags, [](TProviderHandle handle) {
        const NTSTATUS status = BCryptSetProperty(AlgHandle(handle), PlatformText(ChainingModeProperty),
                                                  const_cast<PUCHAR>(reinterpret_cast<const UCHAR*>(ChainingModeCbc)),
                                                  sizeof(ChainingModeCbc), 0);
        if (status != 0)
            RaiseNTStatusError(status, u"BCryptSetProperty");
    });
}

void TSymmetricCrypt::Initialize(std::span<const std::uint8_t> key)
{
    TUniqueKey newKey;
    try {
        if (FhAlgorithm == 0)
            InitializeInner();
        if (FhKey != 0) {
            const NTSTATUS status = BCryptDestroyKey(KeyHandle(FhKey));
            // Whatever the status, the old key is not used again: its object is wiped below.
            FhKey = 0;
            if (status != 0)
                RaiseNTStatusError(status, u"BCryptDestroyKey");
        }
        WipeBytes(FKeyObject);

        const std::int64_t actualBits = 8 * static_cast<std::int64_t>(key.size());
        if (actualBits != FKeyBitSize)
            RaiseNTStatusError(
                0, u"invalid key size. expect " + IntToStr(FKeyBitSize) + u", actual " + IntToStr(actualBits) + u".");

        const BCRYPT_KEY_DATA_BLOB_HEADER header{KeyDataBlobMagic, KeyDataBlobVersion1, static_cast<ULONG>(key.size())};
        TSecureBytes blob(sizeof(header) + key.size());
        std::memcpy(blob.data(), &header, sizeof(header));
        std::copy(key.begin(), key.end(), blob.begin() + sizeof(header));

        FKeyObject.resize(QueryUlongProperty(FhAlgorithm, ObjectLengthProperty));
        const NTSTATUS status =
            BCryptImportKey(AlgHandle(FhAlgorithm), nullptr, PlatformText(KeyDataBlob), newKey.Put(), FKeyObject.data(),
                            static_cast<ULONG>(FKeyObject.size()), blob.data(), static_cast<ULONG>(blob.size()), 0);
        if (status != 0)
            RaiseNTStatusError(status, u"BCryptImportKey");
        FhKey = reinterpret_cast<TProviderHandle>(newKey.Release());
    } catch (...) {
        if (newKey) {
            const NTSTATUS status = BCryptDestroyKey(newKey.Release());
            FhKey = 0;
            if (status != 0) {
                WipeBytes(FKeyObject);
                throw EAssertionFailed(u"BCryptDestroyKey: " + IntToStr(status), SecurityUnitSourceFile, 754);
            }
        }
        WipeBytes(FKeyObject);
        throw;
    }
}

TBytes TSymmetricCrypt::GenerateIV() const
{
    Assert(FIVBitSize != 0, MustInitialize, AssertSourceFile, 624);
    TRandomNumberGenerator generator;
    generator.Initialize();
    TBytes iv(static_cast<std::size_t>(FIVBitSize / 8));
    generator.GetBytes(iv);
    return iv;
}

std::int64_t TSymmetricCrypt::ReadChunk(TStream& stream, TSecureBytes& buffer) const
{
    const auto size = static_cast<std::int64_t>(buffer.size());
    std::int64_t count = 0;
    while (count < size) {
        const std::int64_t delivered = stream.Read(buffer.data() + count, size - count);
        if (delivered <= 0)
            break;
        count += delivered;
    }
    return count;
}

void TSymmetricCrypt::Encrypt(std::span<std::uint8_t> iv, TStream& source, TStream& dest)
{
    Run(TDirection::Encrypt, iv, source, dest);
}

void TSymmetricCrypt::Decrypt(std::span<std::uint8_t> iv, TStream& source, TStream& dest)
{
    Run(TDirection::Decrypt, iv, source, dest);
}

void TSymmetricCrypt::Run(TDirection direction, std::span<std::uint8_t> iv, TStream& source, TStream& dest)
{
    const bool encrypting = direction == TDirection::Encrypt;
    Assert(FhAlgorithm != 0, MustInitialize, AssertSourceFile, encrypting ? 784 : 859);
    Assert(FhKey != 0, MustInitialize, AssertSourceFile, encrypting ? 785 : 860);

    const auto blockBytes = static_cast<std::size_t>(FBlockBitSize / 8);
    const auto bufferSize = static_cast<std::size_t>(FInternalBufferSize);
    // Allocated once per run and wiped when released, whichever way the run ends.
    TSecureBytes current(bufferSize);
    TSecureBytes ahead(bufferSize);
    TSecureBytes output(encrypting ? blockBytes + bufferSize : bufferSize);

    std::int64_t currentCount = ReadChunk(source, current);
    for (;;) {
        // Reading one chunk ahead tells whether the current one is the last, without asking
        // the source for its size.
        const std::int64_t aheadCount = ReadChunk(source, ahead);
        const ULONG flags = aheadCount == 0 ? BlockPadding : 0;
        ULONG written = 0;
        const NTSTATUS status = (encrypting ? BCryptEncrypt : BCryptDecrypt)(
            KeyHandle(FhKey), current.data(), static_cast<ULONG>(currentCount), nullptr,
            iv.empty() ? nullptr : iv.data(), static_cast<ULONG>(iv.size()), output.data(),
            static_cast<ULONG>(output.size()), &written, flags);
        if (status != 0)
            RaiseNTStatusError(status, encrypting ? u"BCryptEncrypt" : u"BCryptDecrypt");

        // Some providers leave the IV buffer as it was; carrying the last ciphertext block
        // ourselves keeps the chunks one CBC stream everywhere.
        const std::uint8_t* ciphertext = encrypting ? output.data() : current.data();
        const std::size_t ciphertextSize = encrypting ? written : static_cast<std::size_t>(currentCount);
        if (iv.size() == blockBytes && ciphertextSize >= blockBytes)
            std::memcpy(iv.data(), ciphertext + ciphertextSize - blockBytes, blockBytes);

        // A short write would lose data silently, so it is raised.
        dest.WriteBuffer(output.data(), written);
        if (aheadCount == 0)
            break;
        std::swap(current, ahead);
        currentCount = aheadCount;
    }
}

namespace {

#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
// The fuzz build alone, which never ships, runs the cipher in chunks of 16 blocks: its inputs of
// a few kilobytes then cross chunk boundaries, and no run pays for three 32 KiB buffers.
constexpr std::int32_t AesInternalBufferSize = 256;
#else
constexpr std::int32_t AesInternalBufferSize = 32768;
#endif

}  // namespace

TAes256Crypt::TAes256Crypt() : TSymmetricCrypt(u"AES", 0, 256, 128, AesInternalBufferSize) {}

// ---------------------------------------------------------------------------------------
// TRandomNumberGenerator

void TRandomNumberGenerator::Initialize()
{
    if (FhAlgorithm != 0)
        return;
    FhAlgorithm = AcquireAlgorithmHandle(ClassName(), u"RNG", 0);
}

void TRandomNumberGenerator::GetBytes(std::span<std::uint8_t> data)
{
    Assert(!data.empty(), MustInitialize, AssertSourceFile, 1126);
    Assert(FhAlgorithm != 0, MustInitialize, AssertSourceFile, 1127);
    // The provider takes ULONG lengths; larger arrays are filled in pieces.
    while (!data.empty()) {
        const std::size_t piece = std::min<std::size_t>(data.size(), 0x80000000U);
        const NTSTATUS status = BCryptGenRandom(AlgHandle(FhAlgorithm), data.data(), static_cast<ULONG>(piece), 0);
        if (status != 0)
            RaiseNTStatusError(status, u"BCryptGenRandom");
        data = data.subspan(piece);
    }
}

// ---------------------------------------------------------------------------------------
// THashAlgorithm

THashAlgorithm::THashAlgorithm(std::u16string algId, std::int32_t algFlags)
    : FAlgId(std::move(algId)), FAlgFlags(algFlags)
{
}

THashAlgorithm::~THashAlgorithm()
{
    WipeBytes(FHashObject);
}

void THashAlgorithm::Initialize()
{
    if (FhAlgorithm != 0)
        return;
    try {
        const TProviderHandle handle = AcquireAlgorithmHandle(ClassName(), FAlgId, FAlgFlags);
        const ULONG objectLength = QueryUlongProperty(handle, ObjectLengthProperty);
        const ULONG hashLength = QueryUlongProperty(handle, HashDigestLengthProperty);
        FHashObject.assign(objectLength, 0);
        FHashLength = static_cast<std::int32_t>(hashLength);
        FhAlgorithm = handle;
    } catch (...) {
        FhAlgorithm = 0;
        FHashObject.clear();
        FHashObject.shrink_to_fit();
        FHashLength = 0;
        throw;
    }
}

TBytes THashAlgorithm::Hash(std::span<const std::uint8_t> input)
{
    return Hash(input, {});
}

TBytes THashAlgorithm::Hash(std::span<const std::uint8_t> input, std::span<const std::uint8_t> secret)
{
    Assert(FhAlgorithm != 0, MustInitialize, AssertSourceFile, 1230);
    Assert(!FHashObject.empty(), MustInitialize, AssertSourceFile, 1231);
    Assert(FHashLength != 0, MustInitialize, AssertSourceFile, 1232);

    TUniqueHash hash;
    const NTSTATUS status =
        BCryptCreateHash(AlgHandle(FhAlgorithm), hash.Put(), FHashObject.data(), static_cast<ULONG>(FHashObject.size()),
                         Bytes(secret), static_cast<ULONG>(secret.size()), 0);
    if (status != 0)
        RaiseNTStatusError(status, u"BCryptCreateHash");
    TBytes result;
    try {
        HashData(hash.Get(), input);
        result.assign(static_cast<std::size_t>(FHashLength), 0);
        FinishHash(hash.Get(), result);
    } catch (...) {
        DestroyHashOrAssert(hash, 1282);
        throw;
    }
    DestroyHashOrAssert(hash, 1282);
    return result;
}

TBytes THashAlgorithm::Hash(TStream& input)
{
    return Hash(input, {});
}

TBytes THashAlgorithm::Hash(TStream& input, std::span<const std::uint8_t> secret)
{
    Assert(FhAlgorithm != 0, MustInitialize, AssertSourceFile, 1307);
    Assert(!FHashObject.empty(), MustInitialize, AssertSourceFile, 1308);
    Assert(FHashLength != 0, MustInitialize, AssertSourceFile, 1309);

    TUniqueHash hash;
    const NTSTATUS status =
        BCryptCreateHash(AlgHandle(FhAlgorithm), hash.Put(), FHashObject.data(), static_cast<ULONG>(FHashObject.size()),
                         Bytes(secret), static_cast<ULONG>(secret.size()), 0);
    if (status != 0)
        RaiseNTStatusError(status, u"BCryptCreateHash");
    TBytes result;
    try {
        TSecureBytes buffer(HashStreamBufferSize);
        for (;;) {
            const std::int64_t delivered = input.Read(buffer.data(), HashStreamBufferSize);
            if (delivered <= 0)
                break;
            HashData(hash.Get(), std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(delivered)));
        }
        result.assign(static_cast<std::size_t>(FHashLength), 0);
        FinishHash(hash.Get(), result);
    } catch (...) {
        DestroyHashOrAssert(hash, 1368);
        throw;
    }
    DestroyHashOrAssert(hash, 1368);
    return result;
}

// ---------------------------------------------------------------------------------------
// TSHA256Repeatable

namespace {

bool HashObjectsReusable()
{
    const TWindowsVersion version = RunningWindowsVersion();
    return version.Major > 6 || (version.Major == 6 && version.Minor >= 2);
}

}  // namespace

TSHA256Repeatable::TSHA256Repeatable() : FReusable(HashObjectsReusable())
{
    if (FReusable)
        FAlgFlags |= static_cast<std::int32_t>(HashReusableFlag);
}

TSecureBytes TSHA256Repeatable::RepeatHash(std::span<const std::uint8_t> input, std::int32_t count)
{
    return RepeatHash(input, {}, count);
}

TSecureBytes TSHA256Repeatable::RepeatHash(std::span<const std::uint8_t> input, std::span<const std::uint8_t> secret,
                                           std::int32_t count)
{
    if (count <= 0)
        return {};
    return FReusable ? RepeatHashReusable(input, secret, count) : RepeatHashPerRound(input, secret, count);
}

TSecureBytes TSHA256Repeatable::RepeatHashReusable(std::span<const std::uint8_t> input,
                                                   std::span<const std::uint8_t> secret, std::int32_t count)
{
    Assert(FhAlgorithm != 0, MustInitialize, AssertSourceFile, 1487);
    Assert(!FHashObject.empty(), MustInitialize, AssertSourceFile, 1488);
    Assert(FHashLength != 0, MustInitialize, AssertSourceFile, 1489);

    TUniqueHash hash;
    const NTSTATUS status =
        BCryptCreateHash(AlgHandle(FhAlgorithm), hash.Put(), FHashObject.data(), static_cast<ULONG>(FHashObject.size()),
                         Bytes(secret), static_cast<ULONG>(secret.size()), HashReusableFlag);
    if (status != 0)
        RaiseNTStatusError(status, u"BCryptCreateHash");
    TSecureBytes digest;
    try {
        std::span<const std::uint8_t> roundData = input;
        for (std::int32_t round = 1; round <= count; ++round) {
            HashData(hash.Get(), roundData);
            if (round == 1) {
                // From here on the digest is both the data of a round and its output.
                digest.assign(static_cast<std::size_t>(FHashLength), 0);
                roundData = digest;
            }
            FinishHash(hash.Get(), digest);
        }
    } catch (...) {
        DestroyHashOrAssert(hash, 1552);
        throw;
    }
    DestroyHashOrAssert(hash, 1552);
    return digest;
}

TSecureBytes TSHA256Repeatable::RepeatHashPerRound(std::span<const std::uint8_t> input,
                                                   std::span<const std::uint8_t> secret, std::int32_t count)
{
    Assert(FhAlgorithm != 0, MustInitialize, AssertSourceFile, 1572);
    Assert(!FHashObject.empty(), MustInitialize, AssertSourceFile, 1573);
    Assert(FHashLength != 0, MustInitialize, AssertSourceFile, 1574);

    TSecureBytes digest;
    std::span<const std::uint8_t> roundData = input;
    for (std::int32_t round = 1; round <= count; ++round) {
        TUniqueHash hash;
        const NTSTATUS status = BCryptCreateHash(AlgHandle(FhAlgorithm), hash.Put(), FHashObject.data(),
                                                 static_cast<ULONG>(FHashObject.size()), Bytes(secret),
                                                 static_cast<ULONG>(secret.size()), 0);
        if (status != 0)
            RaiseNTStatusError(status, u"BCryptCreateHash");
        try {
            HashData(hash.Get(), roundData);
            if (round == 1) {
                digest.assign(static_cast<std::size_t>(FHashLength), 0);
                roundData = digest;
            }
            FinishHash(hash.Get(), digest);
        } catch (...) {
            DestroyHashOrAssert(hash, 1633);
            throw;
        }
        DestroyHashOrAssert(hash, 1633);
    }
    return digest;
}
