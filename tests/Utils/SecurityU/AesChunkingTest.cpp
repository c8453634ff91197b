// A cipher run reads its source in 32768-byte chunks, one provider call each, and must still be
// one CBC stream with PKCS#7 padding at its end.

#include <cstring>

#include <gtest/gtest.h>

#include "Utils/SecurityU/SecurityTestSupport.h"

#ifndef _WIN32
#include <openssl/evp.h>
#endif

namespace {

using namespace SecurityTests;
using TestSupport::ToHex;

const TBytes Key = TestSupport::FromHex("1f352c073b6108d72d9810a30914dff4603deb1015ca71be2b73aef0857d7781");
const TBytes StartIv = TestSupport::FromHex("f0e1d2c3b4a5968778695a4b3c2d1e0f");

struct TRun {
    TBytes Output;
    TBytes IvAfter;
};

TRun EncryptRun(TStream& source)
{
    TAes256Crypt cipher;
    cipher.Initialize(Key);
    TMemoryStream dest;
    TBytes iv = StartIv;
    cipher.Encrypt(iv, source, dest);
    return {BytesOf(dest), iv};
}

TRun DecryptRun(TStream& source)
{
    TAes256Crypt cipher;
    cipher.Initialize(Key);
    TMemoryStream dest;
    TBytes iv = StartIv;
    cipher.Decrypt(iv, source, dest);
    return {BytesOf(dest), iv};
}

#ifndef _WIN32
// OpenSSL's own one-piece CBC encryption with its own padding.
TBytes OracleEncrypt(const TBytes& plain)
{
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    TBytes out(plain.size() + 16);
    int written = 0;
    int last = 0;
    EVP_EncryptInit_ex(context, EVP_aes_256_cbc(), nullptr, Key.data(), StartIv.data());
    EVP_EncryptUpdate(context, out.data(), &written, plain.data(), static_cast<int>(plain.size()));
    EVP_EncryptFinal_ex(context, out.data() + written, &last);
    EVP_CIPHER_CTX_free(context);
    out.resize(static_cast<std::size_t>(written + last));
    return out;
}
#endif

struct TSizeCase {
    std::size_t Size;
    int ProviderCalls;
};

class AesChunkingTest : public ::testing::TestWithParam<TSizeCase> {
protected:
    void SetUp() override
    {
#ifndef _WIN32
        BcryptTesting::ResetCounters();
#endif
    }
};

TEST_P(AesChunkingTest, EncryptsAsOneCbcStreamWithPadding)
{
    const TBytes plain = PatternBytes(GetParam().Size);
    TMemoryStream source = StreamOf(plain);
    const TRun run = EncryptRun(source);

    ASSERT_EQ(run.Output.size(), 16 * (plain.size() / 16 + 1));
    EXPECT_EQ(ToHex(run.IvAfter), ToHex(TBytes(run.Output.end() - 16, run.Output.end())));
#ifndef _WIN32
    EXPECT_EQ(ToHex(run.Output), ToHex(OracleEncrypt(plain)));
    EXPECT_EQ(BcryptTesting::CallCount("BCryptEncrypt"), GetParam().ProviderCalls);
#endif
}

TEST_P(AesChunkingTest, DecryptsBackAndLeavesLastCipherBlockInIV)
{
    const TBytes plain = PatternBytes(GetParam().Size, 7);
    TMemoryStream source = StreamOf(plain);
    const TBytes cipherText = EncryptRun(source).Output;

    TMemoryStream encrypted = StreamOf(cipherText);
    const TRun run = DecryptRun(encrypted);

    EXPECT_EQ(run.Output, plain);
    EXPECT_EQ(ToHex(run.IvAfter), ToHex(TBytes(cipherText.end() - 16, cipherText.end())));
}

// Independent of the provider: in CBC, the blocks from any block boundary on decrypt alone
// with the ciphertext block before them as IV. Checked across each chunk boundary, it fails
// when a chunk was not chained to the one before.
TEST_P(AesChunkingTest, ChainsEachChunkToThePreviousOne)
{
    const TBytes plain = PatternBytes(GetParam().Size, 3);
    TMemoryStream source = StreamOf(plain);
    const TBytes cipherText = EncryptRun(source).Output;

    for (std::size_t boundary = 32768; boundary < cipherText.size(); boundary += 32768) {
        TAes256Crypt cipher;
        cipher.Initialize(Key);
        TMemoryStream rest = StreamOf(TBytes(cipherText.begin() + boundary, cipherText.end()));
        TMemoryStream dest;
        TBytes iv(cipherText.begin() + boundary - 16, cipherText.begin() + boundary);
        cipher.Decrypt(iv, rest, dest);
        EXPECT_EQ(BytesOf(dest), TBytes(plain.begin() + boundary, plain.end())) << "boundary " << boundary;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, AesChunkingTest,
                         ::testing::Values(TSizeCase{0, 1}, TSizeCase{1, 1}, TSizeCase{16, 1}, TSizeCase{32767, 1},
                                           TSizeCase{32768, 1}, TSizeCase{32769, 2}, TSizeCase{65536, 2},
                                           TSizeCase{65537, 3}, TSizeCase{200000, 7}),
                         [](const ::testing::TestParamInfo<TSizeCase>& info) {
                             return "Bytes" + std::to_string(info.param.Size);
                         });

TEST(AesChunkingSourceTest, TrickleSourceGivesSameCipherText)
{
    const TBytes plain = PatternBytes(100000, 5);
    TMemoryStream whole = StreamOf(plain);
    TTrickleStream trickle(plain, 1000);

    const TBytes expected = EncryptRun(whole).Output;
    EXPECT_EQ(EncryptRun(trickle).Output, expected);
    EXPECT_GT(trickle.Reads(), 100);

    TTrickleStream trickleCipher(expected, 1000);
    EXPECT_EQ(DecryptRun(trickleCipher).Output, plain);
}

TEST(AesChunkingSourceTest, ReadsFromPositionAndWritesAtPosition)
{
    const TBytes plain = PatternBytes(50);
    TMemoryStream source = StreamOf(plain);
    source.SetPosition(20);
    TMemoryStream dest = StreamOf(TBytes{0xAA, 0xBB});
    dest.Seek(0, TSeekOrigin::End);

    TAes256Crypt cipher;
    cipher.Initialize(Key);
    TBytes iv = StartIv;
    cipher.Encrypt(iv, source, dest);

    TMemoryStream tailOnly = StreamOf(TBytes(plain.begin() + 20, plain.end()));
    const TBytes expected = EncryptRun(tailOnly).Output;
    const TBytes written = BytesOf(dest);
    ASSERT_EQ(written.size(), 2 + expected.size());
    EXPECT_EQ(written[0], 0xAA);
    EXPECT_EQ(written[1], 0xBB);
    EXPECT_EQ(TBytes(written.begin() + 2, written.end()), expected);
}

#ifndef _WIN32
TEST(AesChunkingSourceTest, WritesPlainTextChunksOfExactLength)
{
    BcryptTesting::ResetCounters();
    const TBytes plain = PatternBytes(32768 * 2 + 3);
    TMemoryStream source = StreamOf(plain);
    TMemoryStream encrypted = StreamOf(EncryptRun(source).Output);
    EXPECT_EQ(DecryptRun(encrypted).Output, plain);
    EXPECT_EQ(BcryptTesting::CallCount("BCryptDecrypt"), 3);
}
#endif

}  // namespace
