// CBC encryption and decryption of our provider layer, with PKCS#7 padding on request. The
// caller's IV buffer is left holding the last ciphertext block, so consecutive calls chain.

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "core/ScopeExit.h"
#include "core/SecureZero.h"
#include "platform/posix/BcryptObjects.h"

namespace BcryptLayer {

namespace {

constexpr ULONG Block = AesBlockLength;

// A block-sized scratch buffer that is wiped when it goes, on every path.
struct TScratchBlock {
    std::uint8_t Bytes[Block] = {};
    ~TScratchBlock() { SecureZero(Bytes, sizeof(Bytes)); }
};

NTSTATUS CheckCommon(const TKey* key, PUCHAR input, ULONG inputSize, void* paddingInfo, PUCHAR iv, ULONG ivSize,
                     ULONG* resultSize, ULONG flags) noexcept
{
    if (key == nullptr)
        return StatusInvalidHandle;
    if (resultSize == nullptr || paddingInfo != nullptr || (flags & ~BCRYPT_BLOCK_PADDING) != 0)
        return StatusInvalidParameter;
    if (input == nullptr && inputSize != 0)
        return StatusInvalidParameter;
    if (iv != nullptr && ivSize != Block)
        return StatusInvalidParameter;
    if (iv == nullptr && ivSize != 0)
        return StatusInvalidParameter;
    return StatusSuccess;
}

// Starts a call from the given IV (all zero without one). The key schedule is set up again
// only when the direction changes, so a run of calls in one direction costs no key setup.
[[nodiscard]] bool StartCall(TKey& key, const std::uint8_t* iv, int direction) noexcept
{
    static constexpr std::uint8_t ZeroIv[Block] = {};
    const std::uint8_t* keyBytes = key.Direction == direction ? nullptr : key.Key;
    if (EVP_CipherInit_ex2(key.Context, nullptr, keyBytes, iv != nullptr ? iv : ZeroIv, direction, nullptr) != 1)
        return false;
    key.Direction = direction;
    return EVP_CIPHER_CTX_set_padding(key.Context, 0) == 1;
}

// Runs whole blocks through the context; EVP takes int lengths, so large inputs go in pieces.
[[nodiscard]] bool RunBlocks(TKey& key, const std::uint8_t* input, std::uint8_t* output, std::uint64_t size) noexcept
{
    constexpr std::uint64_t Piece = 1U << 30;
    while (size > 0) {
        const std::uint64_t now = std::min(size, Piece);
        int written = 0;
        if (EVP_CipherUpdate(key.Context, output, &written, input, static_cast<int>(now)) != 1 ||
            static_cast<std::uint64_t>(written) != now)
            return false;
        input += now;
        output += now;
        size -= now;
    }
    return true;
}

// The padding length of a decrypted final block, or 0 when the padding does not verify. Every
// byte is looked at whatever the outcome, so the time taken does not tell where it failed.
ULONG PaddingLength(const std::uint8_t (&last)[Block]) noexcept
{
    const unsigned pad = last[Block - 1];
    unsigned bad = static_cast<unsigned>(pad == 0) | static_cast<unsigned>(pad > Block);
    for (unsigned i = 0; i < Block; ++i) {
        const unsigned inPadding = static_cast<unsigned>(i >= Block - pad);
        bad |= inPadding & static_cast<unsigned>(last[i] != pad);
    }
    return bad ? 0 : pad;
}

}  // namespace

}  // namespace BcryptLayer

using namespace BcryptLayer;

extern "C" NTSTATUS BCryptEncrypt(BCRYPT_KEY_HANDLE hKey, PUCHAR pbInput, ULONG cbInput, void* pPaddingInfo,
                                  PUCHAR pbIV, ULONG cbIV, PUCHAR pbOutput, ULONG cbOutput, ULONG* pcbResult,
                                  ULONG dwFlags)
{
    if (const NTSTATUS planned = EnterCall("BCryptEncrypt"))
        return planned;
    TKey* key = AsKey(hKey);
    if (const NTSTATUS status = CheckCommon(key, pbInput, cbInput, pPaddingInfo, pbIV, cbIV, pcbResult, dwFlags))
        return status;
    const bool padded = (dwFlags & BCRYPT_BLOCK_PADDING) != 0;
    if (!padded && cbInput % Block != 0)
        return StatusInvalidBufferSize;
    const std::uint64_t whole = cbInput - cbInput % Block;
    const std::uint64_t required = padded ? whole + Block : whole;
    if (required > ULONG_MAX)
        return StatusInvalidBufferSize;
    *pcbResult = static_cast<ULONG>(required);
    if (pbOutput == nullptr)
        return StatusSuccess;
    if (cbOutput < required)
        return StatusBufferTooSmall;

    // The final block is built before any output is written: input and output may be one buffer.
    TScratchBlock last;
    const ULONG tail = static_cast<ULONG>(cbInput - whole);
    if (padded) {
        if (tail != 0)
            std::memcpy(last.Bytes, pbInput + whole, tail);
        std::memset(last.Bytes + tail, static_cast<int>(Block - tail), Block - tail);
    }
    if (!StartCall(*key, pbIV, 1) || !RunBlocks(*key, pbInput, pbOutput, whole) ||
        (padded && !RunBlocks(*key, last.Bytes, pbOutput + whole, Block))) {
        SecureZero(pbOutput, static_cast<std::size_t>(required));
        *pcbResult = 0;
        return StatusUnsuccessful;
    }
    if (pbIV != nullptr && required != 0)
        std::memcpy(pbIV, pbOutput + required - Block, Block);
    return StatusSuccess;
}

extern "C" NTSTATUS BCryptDecrypt(BCRYPT_KEY_HANDLE hKey, PUCHAR pbInput, ULONG cbInput, void* pPaddingInfo,
                                  PUCHAR pbIV, ULONG cbIV, PUCHAR pbOutput, ULONG cbOutput, ULONG* pcbResult,
                                  ULONG dwFlags)
{
    if (const NTSTATUS planned = EnterCall("BCryptDecrypt"))
        return planned;
    TKey* key = AsKey(hKey);
    if (const NTSTATUS status = CheckCommon(key, pbInput, cbInput, pPaddingInfo, pbIV, cbIV, pcbResult, dwFlags))
        return status;
    const bool padded = (dwFlags & BCRYPT_BLOCK_PADDING) != 0;
    if (cbInput % Block != 0 || (padded && cbInput == 0))
        return StatusInvalidBufferSize;
    // Until the padding is seen, the whole input length is what the plaintext may need.
    *pcbResult = cbInput;
    if (pbOutput == nullptr)
        return StatusSuccess;
    const ULONG leading = padded ? cbInput - Block : cbInput;
    if (cbOutput < leading)
        return StatusBufferTooSmall;

    // Saved first: decrypting in place overwrites the ciphertext.
    TScratchBlock nextIv;
    if (cbInput != 0)
        std::memcpy(nextIv.Bytes, pbInput + cbInput - Block, Block);
    TScratchBlock last;
    // Plaintext that is not handed out (a failed call, a bad padding, too small a buffer) is wiped.
    TScopeExit wipeOutput([&] { SecureZero(pbOutput, leading); });
    if (!StartCall(*key, pbIV, 0) || !RunBlocks(*key, pbInput, pbOutput, leading) ||
        (padded && !RunBlocks(*key, nextIv.Bytes, last.Bytes, Block))) {
        *pcbResult = 0;
        return StatusUnsuccessful;
    }
    ULONG produced = leading;
    if (padded) {
        const ULONG pad = PaddingLength(last.Bytes);
        if (pad == 0) {
            *pcbResult = 0;
            return StatusDataError;
        }
        const ULONG kept = Block - pad;
        if (cbOutput < leading + kept) {
            *pcbResult = leading + kept;
            return StatusBufferTooSmall;
        }
        std::memcpy(pbOutput + leading, last.Bytes, kept);
        produced += kept;
    }
    wipeOutput.Dismiss();
    *pcbResult = produced;
    if (pbIV != nullptr && cbInput != 0)
        std::memcpy(pbIV, nextIv.Bytes, Block);
    return StatusSuccess;
}
