// The security unit's hash algorithms: one-shot and streamed hashes, and the repeated SHA-256
// of the key derivation.

#include <algorithm>
#include <utility>

#include "Utils/Util.SecurityU.Lines.h"
#include "Utils/Util.SecurityU.Provider.h"
#include "Utils/Util.SecurityU.h"
#include "core/Text.h"
#include "core/UniqueHandle.h"
#include "platform/Bcrypt.h"
#include "platform/WindowsVersion.h"

using namespace SecurityUnit;

namespace {

constexpr const char16_t* HashDigestLengthProperty = u"HashDigestLength";
constexpr ULONG HashReusableFlag = 0x20;
constexpr std::int32_t HashStreamBufferSize = 32768;

PUCHAR Bytes(std::span<const std::uint8_t> bytes) noexcept
{
    return bytes.empty() ? nullptr : const_cast<PUCHAR>(bytes.data());
}

// Owner of one hash handle. Its closing only runs for a handle whose explicit clean-up (below,
// with its assertion) was never reached, so it ignores the status.
using TUniqueHash = TUniqueAny<BCRYPT_HASH_HANDLE, &BCryptDestroyHash, nullptr>;

// The clean-up whose failure is raised: an assertion failure that takes the place of the
// result, or of the failure already on its way out.
void DestroyHashOrAssert(TUniqueHash& hash, int line)
{
    const NTSTATUS status = BCryptDestroyHash(hash.Release());
    if (status != 0)
        throw EAssertionFailed(u"BCryptDestroyHash: " + IntToStr(status), SecurityUnitSourceFile, line);
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

}  // namespace

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
    Assert(FhAlgorithm != 0, MustInitialize, AssertSourceFile, SecurityUnitLines::HashBytes.Algorithm);
    Assert(!FHashObject.empty(), MustInitialize, AssertSourceFile, SecurityUnitLines::HashBytes.HashObject);
    Assert(FHashLength != 0, MustInitialize, AssertSourceFile, SecurityUnitLines::HashBytes.HashLength);

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
        DestroyHashOrAssert(hash, SecurityUnitLines::HashBytes.Destroy);
        throw;
    }
    DestroyHashOrAssert(hash, SecurityUnitLines::HashBytes.Destroy);
    return result;
}

TBytes THashAlgorithm::Hash(TStream& input)
{
    return Hash(input, {});
}

TBytes THashAlgorithm::Hash(TStream& input, std::span<const std::uint8_t> secret)
{
    Assert(FhAlgorithm != 0, MustInitialize, AssertSourceFile, SecurityUnitLines::HashStream.Algorithm);
    Assert(!FHashObject.empty(), MustInitialize, AssertSourceFile, SecurityUnitLines::HashStream.HashObject);
    Assert(FHashLength != 0, MustInitialize, AssertSourceFile, SecurityUnitLines::HashStream.HashLength);

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
        DestroyHashOrAssert(hash, SecurityUnitLines::HashStream.Destroy);
        throw;
    }
    DestroyHashOrAssert(hash, SecurityUnitLines::HashStream.Destroy);
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
    Assert(FhAlgorithm != 0, MustInitialize, AssertSourceFile, SecurityUnitLines::RepeatHashReusable.Algorithm);
    Assert(!FHashObject.empty(), MustInitialize, AssertSourceFile, SecurityUnitLines::RepeatHashReusable.HashObject);
    Assert(FHashLength != 0, MustInitialize, AssertSourceFile, SecurityUnitLines::RepeatHashReusable.HashLength);

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
        DestroyHashOrAssert(hash, SecurityUnitLines::RepeatHashReusable.Destroy);
        throw;
    }
    DestroyHashOrAssert(hash, SecurityUnitLines::RepeatHashReusable.Destroy);
    return digest;
}

TSecureBytes TSHA256Repeatable::RepeatHashPerRound(std::span<const std::uint8_t> input,
                                                   std::span<const std::uint8_t> secret, std::int32_t count)
{
    Assert(FhAlgorithm != 0, MustInitialize, AssertSourceFile, SecurityUnitLines::RepeatHashPerRound.Algorithm);
    Assert(!FHashObject.empty(), MustInitialize, AssertSourceFile, SecurityUnitLines::RepeatHashPerRound.HashObject);
    Assert(FHashLength != 0, MustInitialize, AssertSourceFile, SecurityUnitLines::RepeatHashPerRound.HashLength);

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
            DestroyHashOrAssert(hash, SecurityUnitLines::RepeatHashPerRound.Destroy);
            throw;
        }
        DestroyHashOrAssert(hash, SecurityUnitLines::RepeatHashPerRound.Destroy);
    }
    return digest;
}
