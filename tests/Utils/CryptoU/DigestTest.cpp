#include <gtest/gtest.h>

#include "Utils/CryptoU/CryptoTestHelpers.h"
#include "Utils/Util.CryptoU.h"
#include "rtl/Encoding.h"
#include "support/TestSupport.h"

#ifndef _WIN32
#include <openssl/evp.h>
#endif

namespace {

using namespace CryptoTest;
using TestSupport::FromHex;
using TestSupport::U16;

TBytes Utf8(const std::u16string& text)
{
    return Plain(TEncoding::UTF8().GetBytes(text));
}

TEST(SaltedDigest, BytesMatchPublishedVectors)
{
    // FIPS 180-4 examples; the salt comes first, so any split of the message gives the same.
    EXPECT_EQ(TCrypto::GetHashSHA256b({}, {}),
              FromHex("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
    const TBytes abc = FromHex("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(TCrypto::GetHashSHA256b(BytesOf("abc"), {}), abc);
    EXPECT_EQ(TCrypto::GetHashSHA256b(BytesOf("c"), BytesOf("ab")), abc);
    EXPECT_EQ(TCrypto::GetHashSHA256b({}, BytesOf("abc")), abc);
    EXPECT_EQ(TCrypto::GetHashSHA256b(BytesOf("ab"), BytesOf("c")), TCrypto::GetHashSHA256b(BytesOf("cab"), {}));
}

TEST(SaltedDigest, TextOfEmptyInputIsTheBase64OfTheEmptyDigest)
{
    EXPECT_EQ(TCrypto::GetHashSHA256(u"", u""), u"47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=");
}

struct TDigestCase {
    const char* Name;
    std::u16string Text;
    std::u16string Salt;
};

void PrintTo(const TDigestCase& c, std::ostream* os)
{
    *os << c.Name;
}

class SaltedTextDigest : public ::testing::TestWithParam<TDigestCase> {};

TEST_P(SaltedTextDigest, IsOneLineOfFortyFourCharacters)
{
    const std::u16string digest = TCrypto::GetHashSHA256(GetParam().Text, GetParam().Salt);
    EXPECT_EQ(digest.size(), 44u);
    EXPECT_EQ(digest.back(), u'=');
}

TEST_P(SaltedTextDigest, DependsOnlyOnTheJoinedText)
{
    const TDigestCase& c = GetParam();
    EXPECT_EQ(TCrypto::GetHashSHA256(c.Text, c.Salt), TCrypto::GetHashSHA256(c.Salt + c.Text, u""));
    EXPECT_EQ(TCrypto::GetHashSHA256(c.Text, c.Salt), TCrypto::GetHashSHA256(u"", c.Salt + c.Text));
}

TEST_P(SaltedTextDigest, IsTheBase64OfTheByteDigestOfTheUtf8Texts)
{
    const TDigestCase& c = GetParam();
    const TBytes digest = TCrypto::GetHashSHA256b(Utf8(c.Text), Utf8(c.Salt));
    const std::string encoded = EncodeBase64Text(digest.data(), 32, TBase64FormattingOptions::None);
    EXPECT_EQ(TCrypto::GetHashSHA256(c.Text, c.Salt), U16(encoded));
}

#ifndef _WIN32
TEST_P(SaltedTextDigest, AgreesWithOpenSsl)
{
    const TDigestCase& c = GetParam();
    const TBytes input = Utf8(c.Salt + c.Text);
    TBytes digest(32);
    unsigned int n = 0;
    ASSERT_EQ(EVP_Digest(input.data(), input.size(), digest.data(), &n, EVP_sha256(), nullptr), 1);
    EXPECT_EQ(TCrypto::GetHashSHA256b(Utf8(c.Text), Utf8(c.Salt)), digest);
    EXPECT_EQ(TCrypto::GetHashSHA256(c.Text, c.Salt),
              U16(EncodeBase64Text(digest.data(), 32, TBase64FormattingOptions::None)));
}
#endif

INSTANTIATE_TEST_SUITE_P(Inputs, SaltedTextDigest,
                         ::testing::Values(TDigestCase{"Empty", u"", u""}, TDigestCase{"Ascii", u"password", u"salt"},
                                           TDigestCase{"Japanese", U16("パスワード"), U16("塩")},
                                           TDigestCase{"Long", std::u16string(1000, u'x'), std::u16string(70, u'y')},
                                           TDigestCase{"Emoji", U16("🔒 locked"), U16("🧂")}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(SaltedDigest, SurrogatePairSplitBetweenSaltAndTextIsOneCharacter)
{
    // U+1F512 as the surrogates D83D DD12, split between the two texts.
    const std::u16string salt{u's', char16_t(0xD83D)};
    const std::u16string text{char16_t(0xDD12), u't'};
    // Joined, the halves form one character, whose UTF-8 form is what is hashed.
    const TBytes digest = TCrypto::GetHashSHA256b(BytesOf("s\xF0\x9F\x94\x92t"), {});
    EXPECT_EQ(TCrypto::GetHashSHA256(text, salt),
              U16(EncodeBase64Text(digest.data(), 32, TBase64FormattingOptions::None)));
}

}  // namespace
