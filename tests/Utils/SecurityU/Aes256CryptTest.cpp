#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Utils/SecurityU/SecurityTestSupport.h"

namespace {

using namespace SecurityTests;
using TestSupport::FromHex;
using TestSupport::ToHex;

// ---------------------------------------------------------------------------------------
// Published vectors: the 256-bit cases of Wycheproof's AES-CBC-PKCS5 set.

struct TWycheproofCase {
    std::string Id;
    bool Valid = false;
    TBytes Key;
    TBytes Iv;
    TBytes Msg;
    TBytes Ct;
};

TBytes FieldBytes(const std::string& field)
{
    return field == "-" ? TBytes{} : FromHex(field);
}

std::vector<TWycheproofCase> LoadWycheproofCases()
{
    std::ifstream in(TestSupport::TestDataFile("aes_cbc_pkcs5_256.tsv"));
    std::vector<TWycheproofCase> cases;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string id, result, key, iv, msg, ct;
        fields >> id >> result >> key >> iv >> msg >> ct;
        cases.push_back({id, result == "valid", FieldBytes(key), FieldBytes(iv), FieldBytes(msg), FieldBytes(ct)});
    }
    return cases;
}

class WycheproofAesCbcTest : public ::testing::TestWithParam<TWycheproofCase> {};

TEST(WycheproofAesCbcData, HoldsTheWholeSet)
{
    EXPECT_EQ(LoadWycheproofCases().size(), 72U);
}

TEST_P(WycheproofAesCbcTest, MatchesPublishedResult)
{
    const TWycheproofCase& c = GetParam();
    TAes256Crypt cipher;
    cipher.Initialize(c.Key);

    if (c.Valid) {
        TMemoryStream plain = StreamOf(c.Msg);
        TMemoryStream encrypted;
        TBytes iv = c.Iv;
        cipher.Encrypt(iv, plain, encrypted);
        EXPECT_EQ(ToHex(BytesOf(encrypted)), ToHex(c.Ct));

        TMemoryStream cipherText = StreamOf(c.Ct);
        TMemoryStream decrypted;
        iv = c.Iv;
        cipher.Decrypt(iv, cipherText, decrypted);
        EXPECT_EQ(ToHex(BytesOf(decrypted)), ToHex(c.Msg));
        return;
    }

    if (TestSupport::RunningUnderWine())
        GTEST_SKIP() << "Wine's BCryptDecrypt does not check the padding of the final block";
    TMemoryStream cipherText = StreamOf(c.Ct);
    TMemoryStream decrypted;
    TBytes iv = c.Iv;
    const std::string message = MessageOf<ENTStatusOSError>([&] { cipher.Decrypt(iv, cipherText, decrypted); });
    EXPECT_EQ(message.rfind("BCryptDecrypt:", 0), 0U) << message;
}

INSTANTIATE_TEST_SUITE_P(Aes256, WycheproofAesCbcTest, ::testing::ValuesIn(LoadWycheproofCases()),
                         [](const ::testing::TestParamInfo<TWycheproofCase>& info) { return "tc" + info.param.Id; });

// ---------------------------------------------------------------------------------------
// Keys, states and messages.

class Aes256CryptTest : public TProviderTest {};

struct TKeySizeCase {
    std::size_t KeyBytes;
    const char* Message;
};

void PrintTo(const TKeySizeCase& c, std::ostream* os)
{
    *os << c.KeyBytes << "-byte key";
}

class Aes256CryptKeySizeTest : public ::testing::TestWithParam<TKeySizeCase> {};

TEST_P(Aes256CryptKeySizeTest, RejectsKeyOfWrongSizeWithStatusZero)
{
    TAes256Crypt cipher;
    const TBytes key(GetParam().KeyBytes, 0x5A);
    try {
        cipher.Initialize(key);
        FAIL() << "a key of " << key.size() << " bytes was accepted";
    } catch (const ENTStatusOSError& error) {
        EXPECT_EQ(TestSupport::U8(error.Message()), GetParam().Message);
        EXPECT_EQ(error.ErrorCode, 0U);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, Aes256CryptKeySizeTest,
                         ::testing::Values(TKeySizeCase{16, "invalid key size. expect 256, actual 128.:0"},
                                           TKeySizeCase{0, "invalid key size. expect 256, actual 0.:0"},
                                           TKeySizeCase{33, "invalid key size. expect 256, actual 264.:0"}),
                         [](const auto& info) { return "Key" + std::to_string(info.param.KeyBytes) + "Bytes"; });

TEST_F(Aes256CryptTest, ReportsUseBeforeKeyWithLineOfCheck)
{
    const TBytes wrongKey(16, 1);
    struct TCase {
        bool Bound;  // provider bound by a failed Initialize, but no key
        bool Encrypting;
        const char* Message;
    };
    const TCase cases[] = {
        {false, true, "must initialize. (Utils\\Util.SecurityU, 784 行)"},
        {false, false, "must initialize. (Utils\\Util.SecurityU, 859 行)"},
        {true, true, "must initialize. (Utils\\Util.SecurityU, 785 行)"},
        {true, false, "must initialize. (Utils\\Util.SecurityU, 860 行)"},
    };
    for (const TCase& c : cases) {
        TAes256Crypt cipher;
        if (c.Bound) {
            EXPECT_THROW(cipher.Initialize(wrongKey), ENTStatusOSError);
        }
        TMemoryStream source = StreamOf(TBytes(16, 0));
        TMemoryStream dest;
        TBytes iv(16, 0);
        const std::string message = MessageOf<EAssertionFailed>([&] {
            if (c.Encrypting)
                cipher.Encrypt(iv, source, dest);
            else
                cipher.Decrypt(iv, source, dest);
        });
        EXPECT_EQ(message, c.Message);
        EXPECT_EQ(dest.Size(), 0);
    }
}

TEST(SymmetricCryptTest, RefusesBufferThatIsNoBlockMultiple)
{
    const char* expected = "buffer size must block size multiple. (Utils\\Util.SecurityU, 580 行)";
    struct TCase {
        std::int32_t BlockBits;
        std::int32_t BufferSize;
    };
    // 0-byte buffers and blocks under 8 bits would never read the source or divide by zero.
    const TCase cases[] = {{128, 32760}, {128, 1}, {128, 0}, {0, 32768}, {4, 32768}};
    for (const TCase& c : cases)
        EXPECT_EQ(MessageOf<EAssertionFailed>([&] { TSymmetricCrypt(u"AES", 0, 256, c.BlockBits, c.BufferSize); }),
                  expected)
            << c.BlockBits << "/" << c.BufferSize;
}

TEST_F(Aes256CryptTest, ReportsItsSizes)
{
    const TAes256Crypt cipher;
    EXPECT_EQ(cipher.KeyBitSize(), 256);
    EXPECT_EQ(cipher.BlockBitSize(), 128);
    EXPECT_EQ(cipher.IVBitSize(), 128);
}

TEST_F(Aes256CryptTest, SecondKeyReplacesFirst)
{
    // NIST SP 800-38A F.2.5, first block.
    const TBytes key = FromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
    const TBytes iv0 = FromHex("000102030405060708090a0b0c0d0e0f");
    const TBytes block = FromHex("6bc1bee22e409f96e93d7e117393172a");

    TAes256Crypt cipher;
    cipher.Initialize(TBytes(32, 0xEE));
    cipher.Initialize(key);
    TMemoryStream source = StreamOf(block);
    TMemoryStream dest;
    TBytes iv = iv0;
    cipher.Encrypt(iv, source, dest);

    EXPECT_EQ(ToHex(BytesOf(dest)).substr(0, 32), "f58c4c04d6e5f1ba779eabfb5f7bfbd6");
#ifndef _WIN32
    EXPECT_EQ(BcryptTesting::OpenCount(u"AES"), 1);
    EXPECT_EQ(BcryptTesting::CallCount("BCryptDestroyKey"), 1);
#endif
}

TEST_F(Aes256CryptTest, GeneratesRandomIVWithoutKey)
{
    const TAes256Crypt cipher;
    const TBytes first = cipher.GenerateIV();
    const TBytes second = cipher.GenerateIV();
    EXPECT_EQ(first.size(), 16U);
    EXPECT_EQ(second.size(), 16U);
    EXPECT_NE(first, second);
}

TEST_F(Aes256CryptTest, RefusesIVOfNoBitsAsUninitialized)
{
    // Only a derived class can leave the IV size at 0; the check stands before any provider call.
    struct TCipherWithoutIV : TAes256Crypt {
        TCipherWithoutIV() { FIVBitSize = 0; }
    };
    const TCipherWithoutIV cipher;
    EXPECT_EQ(MessageOf<EAssertionFailed>([&] { (void)cipher.GenerateIV(); }),
              "must initialize. (Utils\\Util.SecurityU, 624 行)");
}

TEST_F(Aes256CryptTest, RefusesCipherTextOfPartialBlockAfterWritingEarlierChunks)
{
    const TBytes key(32, 0x42);
    const TBytes plain = PatternBytes(40000);
    TAes256Crypt cipher;
    cipher.Initialize(key);
    TMemoryStream source = StreamOf(plain);
    TMemoryStream encrypted;
    TBytes iv(16, 7);
    cipher.Encrypt(iv, source, encrypted);

    const TBytes whole = BytesOf(encrypted);
    const TBytes truncated(whole.begin(), whole.begin() + 32768 + 5);
    TMemoryStream cipherText = StreamOf(truncated);
    TMemoryStream decrypted;
    iv.assign(16, 7);
    const std::string message = MessageOf<ENTStatusOSError>([&] { cipher.Decrypt(iv, cipherText, decrypted); });

    EXPECT_EQ(message.rfind("BCryptDecrypt:", 0), 0U) << message;
    EXPECT_EQ(BytesOf(decrypted), TBytes(plain.begin(), plain.begin() + 32768));
}

#ifndef _WIN32

// ---------------------------------------------------------------------------------------
// Failures the provider layer is told to produce.

TEST_F(Aes256CryptTest, RaisesFailedKeyDestructionFromDestructor)
{
    const std::string message = MessageOf<EAssertionFailed>([] {
        TAes256Crypt cipher;
        cipher.Initialize(TBytes(32, 3));
        BcryptTesting::FailCall("BCryptDestroyKey", -1);
    });
    EXPECT_EQ(message, "BCryptDestroyKey: -1 (Utils\\Util.SecurityU, 606 行)");
}

TEST_F(Aes256CryptTest, KeepsPropagatingFailureWhenKeyDestructionFailsDuringUnwinding)
{
    try {
        TAes256Crypt cipher;
        cipher.Initialize(TBytes(32, 3));
        BcryptTesting::FailCall("BCryptDestroyKey", -1);
        throw std::runtime_error("first failure");
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "first failure");
    }
}

TEST_F(Aes256CryptTest, ReportsFailedReplacementOfOldKeyAndDropsIt)
{
    TAes256Crypt cipher;
    cipher.Initialize(TBytes(32, 3));
    BcryptTesting::FailCall("BCryptDestroyKey", static_cast<std::int32_t>(0xC0000008U));

    EXPECT_EQ(MessageOf<ENTStatusOSError>([&] { cipher.Initialize(TBytes(32, 4)); }), "BCryptDestroyKey:-1073741816");
    TMemoryStream source = StreamOf(TBytes(1, 0));
    TMemoryStream dest;
    TBytes iv(16, 0);
    EXPECT_EQ(MessageOf<EAssertionFailed>([&] { cipher.Encrypt(iv, source, dest); }),
              "must initialize. (Utils\\Util.SecurityU, 785 行)");
}

TEST_F(Aes256CryptTest, DestroysKeyHandedOutWithFailedImport)
{
    TAes256Crypt cipher;
    BcryptTesting::FailCallAfterItsWork("BCryptImportKey", static_cast<std::int32_t>(0xC000000DU));
    EXPECT_EQ(MessageOf<ENTStatusOSError>([&] { cipher.Initialize(TBytes(32, 5)); }), "BCryptImportKey:-1073741811");
    EXPECT_EQ(BcryptTesting::CallCount("BCryptDestroyKey"), 1);

    BcryptTesting::FailCallAfterItsWork("BCryptImportKey", static_cast<std::int32_t>(0xC000000DU));
    BcryptTesting::FailCall("BCryptDestroyKey", static_cast<std::int32_t>(0xC0000008U));
    EXPECT_EQ(MessageOf<EAssertionFailed>([&] { cipher.Initialize(TBytes(32, 5)); }),
              "BCryptDestroyKey: -1073741816 (Utils\\Util.SecurityU, 754 行)");
    // The object is left bound, without a key.
    TMemoryStream source = StreamOf(TBytes(1, 0));
    TMemoryStream dest;
    TBytes iv(16, 0);
    EXPECT_EQ(MessageOf<EAssertionFailed>([&] { cipher.Encrypt(iv, source, dest); }),
              "must initialize. (Utils\\Util.SecurityU, 785 行)");
}

// A cipher whose key-object memory a test can read, with a provider that leaves a released key's
// bytes there: what is found afterwards is what the cipher itself did not wipe.
class KeyObjectWipingTest : public TProviderTest {
protected:
    struct TCipherWithVisibleKeyObject : TAes256Crypt {
        bool KeyObjectIsZero() const
        {
            return !FKeyObject.empty() &&
                   std::all_of(FKeyObject.begin(), FKeyObject.end(), [](std::uint8_t byte) { return byte == 0; });
        }
    };
    void SetUp() override
    {
        TProviderTest::SetUp();
        BcryptTesting::LeaveReleasedKeysInPlace(true);
    }
    void TearDown() override
    {
        BcryptTesting::LeaveReleasedKeysInPlace(false);
        TProviderTest::TearDown();
    }
    const TBytes FOldKey = TBytes(32, 0xA1);
    const TBytes FNewKey = TBytes(32, 0xB2);
};

TEST_F(KeyObjectWipingTest, WipesOldKeyWhenReplacementIsRefused)
{
    TCipherWithVisibleKeyObject cipher;
    cipher.Initialize(FOldKey);
    ASSERT_FALSE(cipher.KeyObjectIsZero());
    BcryptTesting::FailCall("BCryptImportKey", static_cast<std::int32_t>(0xC000000DU));
    EXPECT_THROW(cipher.Initialize(FNewKey), ENTStatusOSError);
    EXPECT_TRUE(cipher.KeyObjectIsZero());
}

TEST_F(KeyObjectWipingTest, WipesOldKeyWhenItsDestructionFails)
{
    TCipherWithVisibleKeyObject cipher;
    cipher.Initialize(FOldKey);
    BcryptTesting::FailCall("BCryptDestroyKey", static_cast<std::int32_t>(0xC0000008U));
    EXPECT_EQ(MessageOf<ENTStatusOSError>([&] { cipher.Initialize(FNewKey); }), "BCryptDestroyKey:-1073741816");
    EXPECT_TRUE(cipher.KeyObjectIsZero());
}

TEST_F(KeyObjectWipingTest, WipesNewKeyHandedOutWithFailedImport)
{
    for (const bool destructionFails : {false, true}) {
        TCipherWithVisibleKeyObject cipher;
        BcryptTesting::FailCallAfterItsWork("BCryptImportKey", static_cast<std::int32_t>(0xC000000DU));
        if (destructionFails)
            BcryptTesting::FailCall("BCryptDestroyKey", -1);
        EXPECT_ANY_THROW(cipher.Initialize(FNewKey));
        EXPECT_TRUE(cipher.KeyObjectIsZero()) << destructionFails;
    }
}

TEST_F(Aes256CryptTest, NamesFailingKeySetupCall)
{
    struct TCase {
        const char* Function;
        const char* Message;
    };
    const TCase cases[] = {
        {"BCryptGetProperty", "BCryptGetProperty:-1073741811"},
        {"BCryptImportKey", "BCryptImportKey:-1073741811"},
        {"BCryptOpenAlgorithmProvider", "BCryptOpenAlgorithmProvider:-1073741811"},
    };
    for (const TCase& c : cases) {
        CloseAlgorithmHandles();
        BcryptTesting::FailCall(c.Function, static_cast<std::int32_t>(0xC000000DU));
        TAes256Crypt cipher;
        EXPECT_EQ(MessageOf<ENTStatusOSError>([&] { cipher.Initialize(TBytes(32, 9)); }), c.Message);
        // The next attempt succeeds and leaves a working key.
        cipher.Initialize(TBytes(32, 9));
        TMemoryStream source = StreamOf(TBytes(5, 1));
        TMemoryStream dest;
        TBytes iv(16, 0);
        cipher.Encrypt(iv, source, dest);
        EXPECT_EQ(dest.Size(), 16) << c.Function;
    }
}

TEST_F(Aes256CryptTest, KeepsChunksWrittenBeforeRefusedChunkAndStaysKeyed)
{
    TAes256Crypt cipher;
    cipher.Initialize(TBytes(32, 1));
    TMemoryStream source = StreamOf(PatternBytes(3 * 32768 + 10));
    TMemoryStream dest;
    TBytes iv(16, 0);
    BcryptTesting::FailCall("BCryptEncrypt", static_cast<std::int32_t>(0xC0000017U), 1);

    EXPECT_EQ(MessageOf<ENTStatusOSError>([&] { cipher.Encrypt(iv, source, dest); }), "BCryptEncrypt:-1073741801");
    EXPECT_EQ(dest.Size(), 32768);

    TMemoryStream again = StreamOf(TBytes(20, 2));
    TMemoryStream out;
    cipher.Encrypt(iv, again, out);
    EXPECT_EQ(out.Size(), 32);
}

#endif

}  // namespace
