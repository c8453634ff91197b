#include <gtest/gtest.h>

#include <string>

#include "CorvaneUtil/CorvaneUtil.h"
#include "support/TestSupport.h"

#ifndef _WIN32
#include <openssl/evp.h>
#endif

namespace {

using TestSupport::U16;
using TestSupport::U8;

struct TDigestCase {
    const char* Name;
    const char* Utf8;
    const char* Md5;
};

void PrintTo(const TDigestCase& c, std::ostream* os)
{
    *os << '"' << c.Utf8 << '"';
}

class GetHashMD5String : public testing::TestWithParam<TDigestCase> {};

TEST_P(GetHashMD5String, GivesLowerCaseHexOfMd5OverUtf8)
{
    EXPECT_EQ(U8(TCorvaneUtil::GetHashMD5String(U16(GetParam().Utf8))), GetParam().Md5);
}

// RFC 1321's own vectors, and the Japanese message over its 18 UTF-8 bytes (not UTF-16, whose
// digest would be 9b690207176d71a12ee2ce28c94d87f7).
INSTANTIATE_TEST_SUITE_P(Vectors, GetHashMD5String,
                         testing::Values(TDigestCase{"Empty", "", "d41d8cd98f00b204e9800998ecf8427e"},
                                         TDigestCase{"OneLetter", "a", "0cc175b9c0f1b6a831c399e269772661"},
                                         TDigestCase{"Abc", "abc", "900150983cd24fb0d6963f7d28e17f72"},
                                         TDigestCase{"MessageDigest", "message digest",
                                                     "f96b697d7cb7938d525a2f31aaf161d0"},
                                         TDigestCase{"Japanese", "暗号化に失敗", "2c3d468c43bcb87032a685f1da21bb66"}),
                         [](const auto& info) { return std::string(info.param.Name); });

#ifndef _WIN32
std::string EvpMd5Hex(const std::string& bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EXPECT_EQ(EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr), 1);
    return TestSupport::ToHex(digest, length);
}

TEST(GetHashMD5StringOracle, AgreesWithOpenSslOverUtf8Bytes)
{
    for (const std::string utf8 : {"暗号化に失敗", "下記文字列の復号化に失敗\r\nblock", "Ā𝄞 mixed ascii"}) {
        ASSERT_EQ(utf8 == "暗号化に失敗" ? 18u : utf8.size(), utf8.size());
        EXPECT_EQ(U8(TCorvaneUtil::GetHashMD5String(U16(utf8))), EvpMd5Hex(utf8)) << utf8;
    }
}
#endif

}  // namespace
