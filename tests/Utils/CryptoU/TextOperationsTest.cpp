#include <gtest/gtest.h>

#include "Utils/CryptoU/CryptoTestAccess.h"
#include "Utils/CryptoU/CryptoTestHelpers.h"
#include "Utils/CryptoU/TextVariants.h"
#include "core/Exceptions.h"
#include "rtl/Encoding.h"
#include "support/TestSupport.h"

namespace {

using namespace CryptoTest;
using TestSupport::U16;

const std::u16string Key = u"text key";

class TextVariant : public ::testing::TestWithParam<TTextVariant> {
protected:
    std::u16string Encrypted(const std::u16string& text, const std::u16string& key = Key) const
    {
        std::u16string encrypted;
        EXPECT_TRUE(GetParam().Encrypt(text, key, encrypted));
        return encrypted;
    }

    [[nodiscard]] bool Decrypt(const std::u16string& encrypted, TSecureText& text,
                               const std::u16string& key = Key) const
    {
        text.assign(u"stale");
        return GetParam().Decrypt(encrypted, key, text);
    }
};

TEST_P(TextVariant, RoundTripsAsciiTexts)
{
    for (const std::u16string& text : {std::u16string(), std::u16string(u"a"), std::u16string(u"Hello, world!"),
                                       std::u16string(300, u'z'), std::u16string(u"line\r\nbreak\ttab\0nul", 19)}) {
        TSecureText decrypted;
        EXPECT_TRUE(Decrypt(Encrypted(text), decrypted));
        EXPECT_EQ(decrypted, text);
    }
}

TEST_P(TextVariant, EmptyTextGivesOneLineOfThirtySixCharacters)
{
    const std::u16string encrypted = Encrypted(u"");
    EXPECT_EQ(encrypted.size(), 36u);
    EXPECT_EQ(encrypted.find(u'\r'), std::u16string::npos);
}

TEST_P(TextVariant, DecryptingTheEmptyTextFails)
{
    TSecureText decrypted;
    EXPECT_FALSE(Decrypt(u"", decrypted));
    EXPECT_EQ(decrypted, u"");
}

TEST_P(TextVariant, EightyCharactersBreakOnceAfterSeventySix)
{
    // 80 bytes, with or without check data, make a 107-byte container: 144 base64 characters.
    const std::u16string text(80, u'q');
    const std::u16string broken = Encrypted(text);
    EXPECT_EQ(broken.size(), 146u);
    EXPECT_EQ(broken.substr(76, 2), u"\r\n");

    std::u16string single;
    EXPECT_TRUE(GetParam().EncryptWithOptions(text, Key, single, TBase64FormattingOptions::None));
    EXPECT_EQ(single.size(), 144u);
    EXPECT_EQ(single.find(u'\n'), std::u16string::npos);
}

TEST_P(TextVariant, DecryptsWithAndWithoutLineBreaks)
{
    const std::u16string text(200, u'w');
    const std::u16string encrypted = Encrypted(text);
    ASSERT_NE(encrypted.find(u"\r\n"), std::u16string::npos);
    for (const std::u16string& form : {encrypted, WithoutLineBreaks(encrypted), u"  " + encrypted + u"\r\n\r\n"}) {
        TSecureText decrypted;
        EXPECT_TRUE(Decrypt(form, decrypted));
        EXPECT_EQ(decrypted, text);
    }
}

TEST_P(TextVariant, PassesTheLayoutOptionOn)
{
    // 260 payload bytes make a 283-byte container (283 mod 57 = 55): the layouts differ only
    // in the CR LF after the last full line. With check data the payload is 11 bytes shorter.
    const std::u16string text(GetParam().CheckData ? 249 : 260, u'p');
    std::u16string breaks;
    std::u16string xe5;
    ASSERT_TRUE(GetParam().EncryptWithOptions(text, Key, breaks, TBase64FormattingOptions::InsertLineBreaks));
    ASSERT_TRUE(GetParam().EncryptWithOptions(text, Key, xe5, TBase64FormattingOptions::InsertLineBreaksXE5Compat));
    EXPECT_EQ(breaks.size(), 380u + 4 * 2);
    EXPECT_FALSE(breaks.ends_with(u"\r\n"));
    EXPECT_EQ(xe5.size(), 380u + 5 * 2);
    EXPECT_TRUE(xe5.ends_with(u"\r\n"));
    TSecureText decrypted;
    EXPECT_TRUE(Decrypt(xe5, decrypted));
    EXPECT_EQ(decrypted, text);
}

TEST_P(TextVariant, WrongKeyNeverGivesTheText)
{
    const std::u16string text = u"secret words";
    TSecureText decrypted;
    bool ok = false;
    try {
        ok = Decrypt(Encrypted(text), decrypted, u"another key");
    } catch (const EEncodingError&) {
        // A UTF-8 variant may meet bytes that are not UTF-8 when the padding happened to verify.
    }
    EXPECT_NE(decrypted, text);
    if (GetParam().CheckData) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(decrypted, u"");
    }
}

TEST_P(TextVariant, DamagedTextFails)
{
    const std::u16string encrypted = WithoutLineBreaks(Encrypted(u"some text"));
    for (const std::u16string& damaged : {encrypted.substr(0, encrypted.size() - 4), encrypted + u"AAAA",
                                          std::u16string(u"!!!! not base64 ????"), encrypted.substr(0, 12)}) {
        TSecureText decrypted;
        EXPECT_FALSE(Decrypt(damaged, decrypted));
        if (GetParam().CheckData) {
            EXPECT_EQ(decrypted, u"");
        }
    }
}

TEST_P(TextVariant, NonAsciiKeyGivesTheSameKeyBytesInEveryVariant)
{
    // The key is UTF-8 in every variant, so any variant's container opens with the stream
    // operation's key handling too (same engine, same key bytes).
    const std::u16string key = U16("鍵🔑 ключ");
    const std::u16string text = u"ascii payload";
    const std::u16string encrypted = Encrypted(text, key);
    TMemoryStream source = StreamOf(DecodeBase64Text(Narrow(encrypted)));
    const auto plain = TCrypto::DecryptStream(source, key);
    const TBytes bytes = Plain(plain->Bytes());
    ASSERT_EQ(bytes.size(), (GetParam().CheckData ? 11u : 0u) + 13u);
    EXPECT_EQ(std::string(bytes.end() - 13, bytes.end()), "ascii payload");
}

INSTANTIATE_TEST_SUITE_P(Variants, TextVariant, ::testing::ValuesIn(TextVariants),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(TextOperations, AsciiTextCrossesFromAnsiToUtf8Variants)
{
    std::u16string encrypted;
    ASSERT_TRUE(TCrypto::GetEncryptedString(u"plain ASCII ~!", Key, encrypted));
    TSecureText decrypted;
    EXPECT_TRUE(TCrypto::GetDecryptedString2(encrypted, Key, decrypted));
    EXPECT_EQ(decrypted, u"plain ASCII ~!");

    ASSERT_TRUE(TCrypto::GetEncryptedStringWithCheckData2(u"back again", Key, encrypted));
    EXPECT_TRUE(TCrypto::GetDecryptedStringWithCheckData(encrypted, Key, decrypted));
    EXPECT_EQ(decrypted, u"back again");
}

TEST(TextOperations, NonUtf8PayloadRaisesTheStrictEncodingError)
{
    // A payload that is not UTF-8, decrypted by the UTF-8 variants with and without check data.
    const TBytes payload = {'o', 'k', 0xFF, 0xC3};
    for (const bool checkData : {false, true}) {
        TMemoryStream source = StreamOf(payload);
        TMemoryStream container;
        ASSERT_TRUE(TCryptoTestAccess::EncryptStreamInner(source, container, BytesOf("k"), checkData));
        const std::u16string text =
            U16(EncodeBase64Text(container.Memory(), static_cast<std::int32_t>(container.Size()),
                                 TBase64FormattingOptions::InsertLineBreaks));
        TSecureText decrypted;
        try {
            checkData ? TCrypto::GetDecryptedStringWithCheckData2(text, u"k", decrypted)
                      : TCrypto::GetDecryptedString2(text, u"k", decrypted);
            ADD_FAILURE() << "no encoding error";
        } catch (const EEncodingError& e) {
            EXPECT_EQ(e.Message(), NoMappingForUnicodeCharacter);
        }
    }
}

TEST(TextOperations, Utf8VariantCarriesEveryCharacterExactly)
{
    const std::u16string text = U16("日本語テキスト, ελληνικά, emoji 🔒") + std::u16string(1, u'\0') + u"end";
    for (const auto& variant : TextVariants) {
        if (!variant.Utf8)
            continue;
        std::u16string encrypted;
        TSecureText decrypted;
        ASSERT_TRUE(variant.Encrypt(text, Key, encrypted));
        EXPECT_TRUE(variant.Decrypt(encrypted, Key, decrypted));
        EXPECT_EQ(decrypted, text) << variant.Name;
    }
}

}  // namespace

// A container beyond the encoder's 32-bit count raises the general exception kind that callers
// catch, instead of being cut short or escaping as a standard library error.
TEST(TextOperations, ContainerBeyondThe32BitCountRaisesTheGeneralException)
{
    constexpr std::size_t largest = 0x7FFFFFFF;
    EXPECT_EQ(TCryptoTestAccess::ContainerByteCount(largest), 0x7FFFFFFF);
    EXPECT_EQ(TCryptoTestAccess::ContainerByteCount(0), 0);
    for (const std::size_t size : {largest + 1, std::size_t{0xFFFFFFFF}, std::size_t{0x100000000}}) {
        try {
            TCryptoTestAccess::ContainerByteCount(size);
            ADD_FAILURE() << size << " did not raise";
        } catch (const EOSError&) {
            ADD_FAILURE() << size << " raised an operating-system error";
        } catch (const Exception& e) {
            EXPECT_FALSE(e.Message().empty());
        }
    }
}
