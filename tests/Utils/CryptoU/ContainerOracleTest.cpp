// The container checked against OpenSSL's own routines: key derivation, AES-256-CBC.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <memory>

#include "Utils/CryptoU/CryptoTestAccess.h"
#include "Utils/CryptoU/CryptoTestHelpers.h"
#include "rtl/Encoding.h"
#include "support/TestSupport.h"

namespace {

using namespace CryptoTest;
using Access = TCryptoTestAccess;
using TestSupport::U16;

struct TKeyAndIV {
    TBytes Key = TBytes(32);
    TBytes IV = TBytes(16);
};

TKeyAndIV OpenSslKeyAndIV(const TBytes& keyBytes, const TBytes& salt)
{
    TKeyAndIV out;
    const int n = EVP_BytesToKey(EVP_aes_256_cbc(), EVP_sha256(), salt.empty() ? nullptr : salt.data(), keyBytes.data(),
                                 static_cast<int>(keyBytes.size()), 2048, out.Key.data(), out.IV.data());
    EXPECT_EQ(n, 32);
    return out;
}

using TCipherCtx = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

// AES-256-CBC with PKCS#7 padding; false when the padding does not verify.
[[nodiscard]] bool OpenSslCrypt(bool encrypt, const TKeyAndIV& k, const TBytes& input, TBytes& output)
{
    TCipherCtx ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    output.assign(input.size() + 32, 0);
    int n = 0;
    int tail = 0;
    if (EVP_CipherInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, k.Key.data(), k.IV.data(), encrypt ? 1 : 0) != 1 ||
        EVP_CipherUpdate(ctx.get(), output.data(), &n, input.data(), static_cast<int>(input.size())) != 1 ||
        EVP_CipherFinal_ex(ctx.get(), output.data() + n, &tail) != 1)
        return false;
    output.resize(static_cast<std::size_t>(n + tail));
    return true;
}

TBytes Concat(const TBytes& a, const TBytes& b)
{
    TBytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

const TBytes Salt = TestSupport::FromHex("0123456789abcdeffedcba");

struct TKeyCase {
    const char* Name;
    std::string KeyUtf8;
};

void PrintTo(const TKeyCase& c, std::ostream* os)
{
    *os << c.Name;
}

class OracleKey : public ::testing::TestWithParam<TKeyCase> {
protected:
    TBytes KeyBytes() const { return BytesOf(GetParam().KeyUtf8); }
};

TEST_P(OracleKey, DerivationMatchesOpenSslBytesToKey)
{
    for (const TBytes& salt : {Salt, Access::GenerateSalt()}) {
        TSecureBytes key;
        TSecureBytes iv;
        ASSERT_TRUE(Access::DeriveKeyAndIV(KeyBytes(), salt, key, iv));
        const TKeyAndIV expected = OpenSslKeyAndIV(KeyBytes(), TBytes(salt.begin(), salt.begin() + 8));
        EXPECT_EQ(Plain(key), expected.Key);
        EXPECT_EQ(Plain(iv), expected.IV);
    }
}

TEST_P(OracleKey, EmptySaltDerivesLikeUnsaltedBytesToKey)
{
    TSecureBytes key;
    TSecureBytes iv;
    ASSERT_TRUE(Access::DeriveKeyAndIV(KeyBytes(), {}, key, iv));
    const TKeyAndIV expected = OpenSslKeyAndIV(KeyBytes(), {});
    EXPECT_EQ(Plain(key), expected.Key);
    EXPECT_EQ(Plain(iv), expected.IV);
}

TEST_P(OracleKey, OurContainerDecryptsWithPlainOpenSsl)
{
    const TBytes payload = BytesOf("a payload that spans more than one block, and then some");
    for (const bool checkData : {false, true}) {
        TMemoryStream source = StreamOf(payload);
        TMemoryStream dest;
        ASSERT_TRUE(Access::EncryptStreamInner(source, dest, KeyBytes(), checkData));
        const TBytes container = Plain(dest.Bytes());
        const TBytes salt(container.begin(), container.begin() + 11);
        const TKeyAndIV k = OpenSslKeyAndIV(KeyBytes(), TBytes(salt.begin(), salt.begin() + 8));
        TBytes plain;
        ASSERT_TRUE(OpenSslCrypt(false, k, TBytes(container.begin() + 11, container.end()), plain));
        EXPECT_EQ(plain, checkData ? Concat(salt, payload) : payload);
    }
}

TEST_P(OracleKey, OpenSslContainerDecryptsWithTCrypto)
{
    const std::u16string key = U16(GetParam().KeyUtf8);
    const std::string payloadUtf8 = "暗号化されたテキスト with ASCII";
    const TBytes payload = BytesOf(payloadUtf8);
    const TKeyAndIV k = OpenSslKeyAndIV(KeyBytes(), TBytes(Salt.begin(), Salt.begin() + 8));
    for (const bool checkData : {false, true}) {
        TBytes cipherText;
        ASSERT_TRUE(OpenSslCrypt(true, k, checkData ? Concat(Salt, payload) : payload, cipherText));
        const TBytes container = Concat(Salt, cipherText);
        const std::u16string text = U16(EncodeBase64Text(container.data(), static_cast<std::int32_t>(container.size()),
                                                         TBase64FormattingOptions::InsertLineBreaks));
        TSecureText decrypted;
        if (checkData) {
            EXPECT_TRUE(TCrypto::GetDecryptedStringWithCheckData2(text, key, decrypted));
        } else {
            EXPECT_TRUE(TCrypto::GetDecryptedString2(text, key, decrypted));
            TMemoryStream source = StreamOf(container);
            EXPECT_EQ(Plain(TCrypto::DecryptStream(source, key)->Bytes()), payload);
        }
        EXPECT_EQ(decrypted, U16(payloadUtf8));
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, OracleKey,
                         ::testing::Values(TKeyCase{"OneByte", "k"}, TKeyCase{"Ascii", "correct horse battery"},
                                           TKeyCase{"NonAscii", "鍵🔑ключ"},
                                           TKeyCase{"LongerThanADigest", std::string(100, 'x')}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(OracleEmptyKey, ContainerDecryptsUnderAllZeroKeyAndIV)
{
    TMemoryStream source = StreamOf(BytesOf("empty key payload"));
    const auto container = TCrypto::EncryptStream(source, u"");
    const TBytes bytes = Plain(container->Bytes());
    TBytes plain;
    ASSERT_TRUE(OpenSslCrypt(false, TKeyAndIV{}, TBytes(bytes.begin() + 11, bytes.end()), plain));
    EXPECT_EQ(plain, BytesOf("empty key payload"));
}

TEST(OracleWrongKey, DecryptionWithoutCheckDataFollowsThePaddingCheck)
{
    // Whether the wrong key's final block happens to carry valid padding is read off OpenSSL.
    const TBytes right = BytesOf("right");
    for (int i = 0; i < 24; ++i) {
        const TBytes wrong = BytesOf("wrong" + std::to_string(i));
        TMemoryStream source = StreamOf(BytesOf("a payload"));
        TMemoryStream container;
        ASSERT_TRUE(Access::EncryptStreamInner(source, container, right, false));
        const TBytes bytes = Plain(container.Bytes());
        const TKeyAndIV k = OpenSslKeyAndIV(wrong, TBytes(bytes.begin(), bytes.begin() + 8));
        TBytes expected;
        const bool paddingVerifies = OpenSslCrypt(false, k, TBytes(bytes.begin() + 11, bytes.end()), expected);
        TMemoryStream plain;
        EXPECT_EQ(Access::DecryptStreamInner(container, plain, wrong, false), paddingVerifies);
        if (paddingVerifies) {
            EXPECT_EQ(Plain(plain.Bytes()), expected);
        }
    }
}

}  // namespace

#endif
