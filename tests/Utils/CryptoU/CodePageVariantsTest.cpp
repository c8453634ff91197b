// The ANSI variants depend on the process's code page; the UTF-8 variants never do.

#include <gtest/gtest.h>

#include "Utils/CryptoU/TextVariants.h"
#include "core/Exceptions.h"
#include "rtl/CodePagePin.h"
#include "support/TestSupport.h"

namespace {

using namespace CryptoTest;
using TestSupport::U16;

struct TCodePageCase {
    const char* Name;
    std::uint32_t CodePage;
    const char* Text;           // UTF-8
    const char* AnsiComesBack;  // UTF-8
};

void PrintTo(const TCodePageCase& c, std::ostream* os)
{
    *os << c.Name;
}

class CodePageVariant : public ::testing::TestWithParam<TCodePageCase> {
protected:
    TCodePagePin FPin;
};

TEST_P(CodePageVariant, AnsiVariantsMapThroughTheCodePageAndUtf8VariantsCarryExactly)
{
    const TCodePageCase& c = GetParam();
    PIN_CODE_PAGE(FPin, c.CodePage);
    const std::u16string text = U16(c.Text);
    for (const TTextVariant& variant : TextVariants) {
        std::u16string encrypted;
        TSecureText decrypted;
        ASSERT_TRUE(variant.Encrypt(text, u"鍵", encrypted)) << variant.Name;
        EXPECT_TRUE(variant.Decrypt(encrypted, u"鍵", decrypted)) << variant.Name;
        EXPECT_EQ(decrypted, variant.Utf8 ? text : U16(c.AnsiComesBack)) << variant.Name;
    }
}

INSTANTIATE_TEST_SUITE_P(CodePages, CodePageVariant,
                         ::testing::Values(TCodePageCase{"Cjk1252", 1252, "日本語 text", "??? text"},
                                           TCodePageCase{"Latin1252", 1252, "café €5", "café €5"},
                                           TCodePageCase{"Cjk932", 932, "日本語テキスト ｱｲｳ", "日本語テキスト ｱｲｳ"},
                                           TCodePageCase{"Latin932", 932, "ASCII only", "ASCII only"}
#ifndef _WIN32
                                           ,
                                           TCodePageCase{"Everything65001", 65001, "日本語 café 🔒", "日本語 café 🔒"}
#endif
                                           ),
                         [](const auto& info) { return std::string(info.param.Name); });

// Base64 text is narrowed through ASCII, so a stray character is skipped. Through code page 932,
// "ア" would become 0x83 0x41, and its trail byte is the alphabet's "A".
TEST(CodePageVariants, NonAsciiCharacterInsideContainerTextIsSkipped)
{
    TCodePagePin pin;
    PIN_CODE_PAGE(pin, 932);
    for (const TTextVariant& variant : TextVariants) {
        std::u16string encrypted;
        ASSERT_TRUE(variant.Encrypt(u"payload", u"key", encrypted)) << variant.Name;
        // Spliced rather than insert(): mingw's g++ 12 warns falsely (-Wrestrict) on the latter.
        const std::size_t half = encrypted.size() / 2;
        encrypted = encrypted.substr(0, half) + u"ア" + encrypted.substr(half);
        TSecureText decrypted;
        EXPECT_TRUE(variant.Decrypt(encrypted, u"key", decrypted)) << variant.Name;
        EXPECT_EQ(decrypted, u"payload") << variant.Name;
    }
}

TEST(CodePageVariants, AnsiContainerOfLegacyTextIsNotUtf8)
{
    TCodePagePin pin;
    PIN_CODE_PAGE(pin, 1252);
    std::u16string encrypted;
    ASSERT_TRUE(TCrypto::GetEncryptedString(U16("café"), u"k", encrypted));
    TSecureText decrypted;
    EXPECT_THROW((void)TCrypto::GetDecryptedString2(encrypted, u"k", decrypted), EEncodingError);
}

}  // namespace
