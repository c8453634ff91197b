// The security unit's symmetric cipher: CBC over the provider in fixed chunks.

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

#include "Utils/Util.SecurityU.Lines.h"
#include "Utils/Util.SecurityU.Provider.h"
#include "Utils/Util.SecurityU.h"
#include "core/Text.h"
#include "core/UniqueHandle.h"
#include "platform/Bcrypt.h"

using namespace SecurityUnit;

namespace {

constexpr const char16_t* ChainingModeProperty = u"ChainingMode";
constexpr char16_t ChainingModeCbc[] = u"ChainingModeCBC";
constexpr const char16_t* KeyDataBlob = u"KeyDataBlob";
constexpr ULONG KeyDataBlobMagic = 0x4D42444BU;
constexpr ULONG KeyDataBlobVersion1 = 1;
constexpr ULONG BlockPadding = 1;

const std::u16string BufferSizeNotBlockMultiple = u"buffer size must block size multiple.";

BCRYPT_KEY_HANDLE KeyHandle(TProviderHandle handle) noexcept
{
    return reinterpret_cast<BCRYPT_KEY_HANDLE>(handle);
}

// Owner of a new key handle until it is taken; its closing ignores the status, the explicit
// clean-up below raises it.
using TUniqueKey = TUniqueAny<BCRYPT_KEY_HANDLE, &BCryptDestroyKey, nullptr>;

}  // namespace

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
           AssertSourceFile, SecurityUnitLines::BufferSizeNotBlockMultiple);
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
        throw EAssertionFailed(u"BCryptDestroyKey: " + IntToStr(status), SecurityUnitSourceFile,
                               SecurityUnitLines::KeyDestroyedAtEnd);
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
                throw EAssertionFailed(u"BCryptDestroyKey: " + IntToStr(status), SecurityUnitSourceFile,
                                       SecurityUnitLines::NewKeyDestroyedAfterFailure);
            }
        }
        WipeBytes(FKeyObject);
        throw;
    }
}

TBytes TSymmetricCrypt::GenerateIV() const
{
    Assert(FIVBitSize != 0, MustInitialize, AssertSourceFile, SecurityUnitLines::IVWithoutInitialize);
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
    Assert(FhAlgorithm != 0, MustInitialize, AssertSourceFile,
           encrypting ? SecurityUnitLines::EncryptWithoutAlgorithm : SecurityUnitLines::DecryptWithoutAlgorithm);
    Assert(FhKey != 0, MustInitialize, AssertSourceFile,
           encrypting ? SecurityUnitLines::EncryptWithoutKey : SecurityUnitLines::DecryptWithoutKey);

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
