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

// Owner of one hash handle until its checked clean-up below takes it.
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

// The three preconditions of every hash operation; lines names the calling operation's assertion
// lines.
void AssertHashReady(const SecurityUnitLines::THashLines& lines, TProviderHandle algorithm,
                     const TSecureBytes& hashObject, std::int32_t hashLength)
{
    Assert(algorithm != 0, MustInitialize, AssertSourceFile, lines.Algorithm);
    Assert(!hashObject.empty(), MustInitialize, AssertSourceFile, lines.HashObject);
    Assert(hashLength != 0, MustInitialize, AssertSourceFile, lines.HashLength);
}

// The life of one hash object, the same for every hash operation: the creation in the object's
// memory, the body, and the checked destruction on every way out. The caller has checked the
// preconditions (AssertHashReady).
template <typename TBody>
void RunOnNewHash(const SecurityUnitLines::THashLines& lines, TProviderHandle algorithm, TSecureBytes& hashObject,
                  std::span<const std::uint8_t> secret, ULONG flags, TBody&& body)
{
    TUniqueHash hash;
    const NTSTATUS status =
        BCryptCreateHash(AlgHandle(algorithm), hash.Put(), hashObject.data(), static_cast<ULONG>(hashObject.size()),
                         Bytes(secret), static_cast<ULONG>(secret.size()), flags);
    try {
        // A handle handed out with a failure is destroyed like any other, its failure raised.
        if (status != 0)
            RaiseNTStatusError(status, u"BCryptCreateHash");
        body(hash.Get());
    } catch (...) {
        if (hash)
            DestroyHashOrAssert(hash, lines.Destroy);
        throw;
    }
    DestroyHashOrAssert(hash, lines.Destroy);
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
    AssertHashReady(SecurityUnitLines::HashBytes, FhAlgorithm, FHashObject, FHashLength);
    TBytes result;
    RunOnNewHash(SecurityUnitLines::HashBytes, FhAlgorithm, FHashObject, secret, 0, [&](BCRYPT_HASH_HANDLE hash) {
        HashData(hash, input);
        result.assign(static_cast<std::size_t>(FHashLength), 0);
        FinishHash(hash, result);
    });
    return result;
}

TBytes THashAlgorithm::Hash(TStream& input)
{
    return Hash(input, {});
}

TBytes THashAlgorithm::Hash(TStream& input, std::span<const std::uint8_t> secret)
{
    AssertHashReady(SecurityUnitLines::HashStream, FhAlgorithm, FHashObject, FHashLength);
    TBytes result;
    RunOnNewHash(SecurityUnitLines::HashStream, FhAlgorithm, FHashObject, secret, 0, [&](BCRYPT_HASH_HANDLE hash) {
        TSecureBytes buffer(HashStreamBufferSize);
        for (;;) {
            const std::int64_t delivered = input.Read(buffer.data(), HashStreamBufferSize);
            if (delivered <= 0)
                break;
            HashData(hash, std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(delivered)));
        }
        result.assign(static_cast<std::size_t>(FHashLength), 0);
        FinishHash(hash, result);
    });
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

namespace {

// One round of the repeated hash. The first round allocates the digest; from then on the digest
// is both the data of a round and its output.
void HashRound(BCRYPT_HASH_HANDLE hash, std::span<const std::uint8_t>& roundData, TSecureBytes& digest,
               std::int32_t hashLength)
{
    HashData(hash, roundData);
    if (digest.empty()) {
        digest.assign(static_cast<std::size_t>(hashLength), 0);
        roundData = digest;
    }
    FinishHash(hash, digest);
}

}  // namespace

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
    AssertHashReady(SecurityUnitLines::RepeatHashReusable, FhAlgorithm, FHashObject, FHashLength);
    TSecureBytes digest;
    RunOnNewHash(SecurityUnitLines::RepeatHashReusable, FhAlgorithm, FHashObject, secret, HashReusableFlag,
                 [&](BCRYPT_HASH_HANDLE hash) {
                     std::span<const std::uint8_t> roundData = input;
                     for (std::int32_t round = 1; round <= count; ++round)
                         HashRound(hash, roundData, digest, FHashLength);
                 });
    return digest;
}

TSecureBytes TSHA256Repeatable::RepeatHashPerRound(std::span<const std::uint8_t> input,
                                                   std::span<const std::uint8_t> secret, std::int32_t count)
{
    AssertHashReady(SecurityUnitLines::RepeatHashPerRound, FhAlgorithm, FHashObject, FHashLength);
    TSecureBytes digest;
    std::span<const std::uint8_t> roundData = input;
    for (std::int32_t round = 1; round <= count; ++round)
        RunOnNewHash(SecurityUnitLines::RepeatHashPerRound, FhAlgorithm, FHashObject, secret, 0,
                     [&](BCRYPT_HASH_HANDLE hash) { HashRound(hash, roundData, digest, FHashLength); });
    return digest;
}
