// Our POSIX provider layer itself: the statuses the platform's provider returns, chaining
// through the IV buffer, in-place use, reusable hashes and the test hooks' release guarantee.

#ifndef _WIN32

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "Utils/SecurityU/SecurityTestSupport.h"
#include "platform/Bcrypt.h"

namespace {

using SecurityTests::PatternBytes;
using TestSupport::FromHex;
using TestSupport::ToHex;

constexpr NTSTATUS InvalidHandle = static_cast<NTSTATUS>(0xC0000008U);
constexpr NTSTATUS InvalidParameter = static_cast<NTSTATUS>(0xC000000DU);
constexpr NTSTATUS BufferTooSmall = static_cast<NTSTATUS>(0xC0000023U);
constexpr NTSTATUS DataError = static_cast<NTSTATUS>(0xC000003EU);
constexpr NTSTATUS InvalidBufferSize = static_cast<NTSTATUS>(0xC0000206U);
constexpr NTSTATUS NotFound = static_cast<NTSTATUS>(0xC0000225U);

TBytes KeyBlob(const TBytes& key)
{
    const BCRYPT_KEY_DATA_BLOB_HEADER header{BCRYPT_KEY_DATA_BLOB_MAGIC, BCRYPT_KEY_DATA_BLOB_VERSION1,
                                             static_cast<ULONG>(key.size())};
    TBytes blob(sizeof(header));
    std::memcpy(blob.data(), &header, sizeof(header));
    blob.insert(blob.end(), key.begin(), key.end());
    return blob;
}

ULONG UlongProperty(BCRYPT_HANDLE handle, const char16_t* name)
{
    ULONG value = 0;
    ULONG written = 0;
    EXPECT_EQ(BCryptGetProperty(handle, name, reinterpret_cast<PUCHAR>(&value), sizeof(value), &written, 0), 0);
    EXPECT_EQ(written, sizeof(value));
    return value;
}

class BcryptLayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        BcryptTesting::ClearFailures();
        ASSERT_EQ(BCryptOpenAlgorithmProvider(&FAes, u"AES", MS_PRIMITIVE_PROVIDER, 0), 0);
        FKeyObject.resize(UlongProperty(FAes, BCRYPT_OBJECT_LENGTH));
        // NIST SP 800-38A F.2.5 key.
        TBytes blob = KeyBlob(FromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4"));
        ASSERT_EQ(
            BCryptImportKey(FAes, nullptr, BCRYPT_KEY_DATA_BLOB, &FKey, FKeyObject.data(),
                            static_cast<ULONG>(FKeyObject.size()), blob.data(), static_cast<ULONG>(blob.size()), 0),
            0);
    }
    void TearDown() override
    {
        BcryptTesting::ClearFailures();
        if (FKey != nullptr) {
            EXPECT_EQ(BCryptDestroyKey(FKey), 0);
        }
        EXPECT_EQ(BCryptCloseAlgorithmProvider(FAes, 0), 0);
    }

    NTSTATUS Encrypt(TBytes& input, TBytes& iv, TBytes& output, ULONG& written, ULONG flags)
    {
        return BCryptEncrypt(FKey, input.data(), static_cast<ULONG>(input.size()), nullptr, iv.data(),
                             static_cast<ULONG>(iv.size()), output.data(), static_cast<ULONG>(output.size()), &written,
                             flags);
    }
    NTSTATUS Decrypt(TBytes& input, TBytes& iv, TBytes& output, ULONG& written, ULONG flags)
    {
        return BCryptDecrypt(FKey, input.data(), static_cast<ULONG>(input.size()), nullptr, iv.data(),
                             static_cast<ULONG>(iv.size()), output.data(), static_cast<ULONG>(output.size()), &written,
                             flags);
    }

    BCRYPT_ALG_HANDLE FAes = nullptr;
    BCRYPT_KEY_HANDLE FKey = nullptr;
    TBytes FKeyObject;
};

// NIST SP 800-38A F.2.5 (CBC-AES256.Encrypt), blocks 1 and 2.
const char* const NistIv = "000102030405060708090a0b0c0d0e0f";
const char* const NistPlain = "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51";
const char* const NistCipher = "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d";

TEST_F(BcryptLayerTest, ChainsThroughIVBufferAcrossCalls)
{
    TBytes plain = FromHex(NistPlain);
    TBytes iv = FromHex(NistIv);
    TBytes first(plain.begin(), plain.begin() + 16);
    TBytes second(plain.begin() + 16, plain.end());
    TBytes out(16);
    ULONG written = 0;
    std::string cipher;
    ASSERT_EQ(Encrypt(first, iv, out, written, 0), 0);
    cipher += ToHex(out);
    EXPECT_EQ(ToHex(iv), ToHex(out));
    ASSERT_EQ(Encrypt(second, iv, out, written, 0), 0);
    cipher += ToHex(out);
    EXPECT_EQ(cipher, NistCipher);
}

TEST_F(BcryptLayerTest, WorksInPlaceBothWays)
{
    TBytes data = FromHex(NistPlain);
    TBytes iv = FromHex(NistIv);
    ULONG written = 0;
    ASSERT_EQ(BCryptEncrypt(FKey, data.data(), 32, nullptr, iv.data(), 16, data.data(), 32, &written, 0), 0);
    EXPECT_EQ(ToHex(data), NistCipher);

    iv = FromHex(NistIv);
    ASSERT_EQ(BCryptDecrypt(FKey, data.data(), 32, nullptr, iv.data(), 16, data.data(), 32, &written, 0), 0);
    EXPECT_EQ(ToHex(data), NistPlain);
    EXPECT_EQ(ToHex(iv), std::string(NistCipher).substr(32));
}

TEST_F(BcryptLayerTest, AnswersOutputSizeQuery)
{
    struct TCase {
        bool Encrypting;
        ULONG Input;
        ULONG Flags;
        ULONG Expected;
    };
    const TCase cases[] = {{true, 0, 1, 16},  {true, 15, 1, 16},  {true, 16, 1, 32},
                           {true, 32, 0, 32}, {false, 32, 1, 32}, {false, 32, 0, 32}};
    for (const TCase& c : cases) {
        TBytes input(c.Input);
        TBytes iv(16);
        ULONG needed = 0;
        const auto call = c.Encrypting ? BCryptEncrypt : BCryptDecrypt;
        EXPECT_EQ(call(FKey, input.data(), c.Input, nullptr, iv.data(), 16, nullptr, 0, &needed, c.Flags), 0);
        EXPECT_EQ(needed, c.Expected) << c.Encrypting << " " << c.Input;
    }
}

TEST_F(BcryptLayerTest, ReturnsPlatformStatusesForBadCalls)
{
    TBytes iv(16);
    TBytes partial(17);
    TBytes out(64);
    TBytes small(15);
    TBytes block(16);
    ULONG written = 0;
    EXPECT_EQ(Encrypt(partial, iv, out, written, 0), InvalidBufferSize);
    EXPECT_EQ(Decrypt(partial, iv, out, written, 1), InvalidBufferSize);
    EXPECT_EQ(Encrypt(block, iv, small, written, 1), BufferTooSmall);
    TBytes shortIv(8);
    EXPECT_EQ(Encrypt(block, shortIv, out, written, 0), InvalidParameter);
    EXPECT_EQ(BCryptEncrypt(FAes, block.data(), 16, nullptr, iv.data(), 16, out.data(), 64, &written, 0),
              InvalidHandle);

    BCRYPT_ALG_HANDLE other = nullptr;
    EXPECT_EQ(BCryptOpenAlgorithmProvider(&other, u"DES", nullptr, 0), NotFound);
    EXPECT_EQ(BCryptOpenAlgorithmProvider(&other, u"AES", u"Some Other Provider", 0), NotFound);
}

TEST_F(BcryptLayerTest, RefusesBadPaddingAndWipesOutput)
{
    TBytes plain = PatternBytes(40);
    TBytes iv(16, 1);
    TBytes cipher(48);
    ULONG written = 0;
    ASSERT_EQ(Encrypt(plain, iv, cipher, written, 1), 0);
    cipher.back() ^= 0x01;

    TBytes out(48, 0xCC);
    iv.assign(16, 1);
    const TBytes ivBefore = iv;
    EXPECT_EQ(Decrypt(cipher, iv, out, written, 1), DataError);
    // The blocks before the final one were decrypted into out; none of that plaintext stays.
    EXPECT_EQ(TBytes(out.begin(), out.begin() + 32), TBytes(32, 0));
    EXPECT_EQ(iv, ivBefore);
}

TEST_F(BcryptLayerTest, ImportChecksBlobAndKeyObject)
{
    TBytes blob = KeyBlob(TBytes(32, 1));
    BCRYPT_KEY_HANDLE key = nullptr;
    TBytes smallObject(8);
    EXPECT_EQ(BCryptImportKey(FAes, nullptr, BCRYPT_KEY_DATA_BLOB, &key, smallObject.data(), 8, blob.data(),
                              static_cast<ULONG>(blob.size()), 0),
              BufferTooSmall);
    blob[0] ^= 1;
    EXPECT_EQ(BCryptImportKey(FAes, nullptr, BCRYPT_KEY_DATA_BLOB, &key, FKeyObject.data(),
                              static_cast<ULONG>(FKeyObject.size()), blob.data(), static_cast<ULONG>(blob.size()), 0),
              InvalidParameter);
    TBytes oddKey = KeyBlob(TBytes(20, 1));
    EXPECT_EQ(
        BCryptImportKey(FAes, nullptr, BCRYPT_KEY_DATA_BLOB, &key, FKeyObject.data(),
                        static_cast<ULONG>(FKeyObject.size()), oddKey.data(), static_cast<ULONG>(oddKey.size()), 0),
        InvalidParameter);
}

TEST_F(BcryptLayerTest, ReleasesKeyEvenWhenTestMakesDestructionFail)
{
    BcryptTesting::FailCall("BCryptDestroyKey", -1);
    EXPECT_EQ(BCryptDestroyKey(FKey), -1);
    // The state is gone: the handle is no longer a key, and ASan sees nothing leaked.
    EXPECT_EQ(BCryptDestroyKey(FKey), InvalidHandle);
    EXPECT_EQ(FKeyObject, TBytes(FKeyObject.size(), 0));
    FKey = nullptr;
}

class BcryptHashLayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        BcryptTesting::ClearFailures();
        ASSERT_EQ(BCryptOpenAlgorithmProvider(&FSha, u"sha256", nullptr, 0), 0);
        FObject.resize(UlongProperty(FSha, BCRYPT_OBJECT_LENGTH));
        EXPECT_EQ(UlongProperty(FSha, BCRYPT_HASH_LENGTH), 32U);
    }
    void TearDown() override
    {
        BcryptTesting::ClearFailures();
        EXPECT_EQ(BCryptCloseAlgorithmProvider(FSha, 0), 0);
    }

    BCRYPT_ALG_HANDLE FSha = nullptr;
    TBytes FObject;
};

TEST_F(BcryptHashLayerTest, ReusableObjectStartsOverAfterEachFinish)
{
    BCRYPT_HASH_HANDLE hash = nullptr;
    ASSERT_EQ(BCryptCreateHash(FSha, &hash, FObject.data(), static_cast<ULONG>(FObject.size()), nullptr, 0,
                               BCRYPT_HASH_REUSABLE_FLAG),
              0);
    TBytes abc{'a', 'b', 'c'};
    TBytes digest(32);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(BCryptHashData(hash, abc.data(), 3, 0), 0);
        ASSERT_EQ(BCryptFinishHash(hash, digest.data(), 32, 0), 0);
        EXPECT_EQ(ToHex(digest), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    }
    EXPECT_EQ(BCryptDestroyHash(hash), 0);
}

TEST_F(BcryptHashLayerTest, PlainObjectIsSpentAfterFinish)
{
    BCRYPT_HASH_HANDLE hash = nullptr;
    ASSERT_EQ(BCryptCreateHash(FSha, &hash, FObject.data(), static_cast<ULONG>(FObject.size()), nullptr, 0, 0), 0);
    TBytes digest(32);
    TBytes shortDigest(31);
    EXPECT_EQ(BCryptFinishHash(hash, shortDigest.data(), 31, 0), InvalidParameter);
    ASSERT_EQ(BCryptFinishHash(hash, digest.data(), 32, 0), 0);
    EXPECT_EQ(BCryptHashData(hash, digest.data(), 32, 0), InvalidHandle);
    EXPECT_EQ(BCryptDestroyHash(hash), 0);
}

TEST_F(BcryptHashLayerTest, RefusesSecretItWouldNotUse)
{
    BCRYPT_HASH_HANDLE hash = nullptr;
    TBytes secret(8, 1);
    EXPECT_EQ(BCryptCreateHash(FSha, &hash, FObject.data(), static_cast<ULONG>(FObject.size()), secret.data(), 8, 0),
              InvalidParameter);
}

TEST_F(BcryptHashLayerTest, AllocatesStateWhenCallerGivesNoMemoryAndReleasesItDespiteFailure)
{
    BCRYPT_HASH_HANDLE hash = nullptr;
    ASSERT_EQ(BCryptCreateHash(FSha, &hash, nullptr, 0, nullptr, 0, 0), 0);
    BcryptTesting::FailCall("BCryptDestroyHash", -1);
    EXPECT_EQ(BCryptDestroyHash(hash), -1);
}

TEST(BcryptTestingTest, SkipsThenFailsGivenNumberOfTimes)
{
    BcryptTesting::ClearFailures();
    BcryptTesting::FailCall("BCryptGenRandom", -7, 1, 2);
    TBytes data(4);
    std::vector<NTSTATUS> statuses;
    for (int i = 0; i < 4; ++i)
        statuses.push_back(BCryptGenRandom(nullptr, data.data(), 4, 2));
    EXPECT_EQ(statuses, (std::vector<NTSTATUS>{0, -7, -7, 0}));
    BcryptTesting::ClearFailures();
}

}  // namespace

#endif
