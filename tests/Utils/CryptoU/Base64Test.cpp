#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "Utils/Util.CryptoU.h"
#include "support/TestSupport.h"

#ifndef _WIN32
#include <openssl/evp.h>
#endif

namespace {

using Opt = TBase64FormattingOptions;

TBytes Sequence(std::size_t n)
{
    TBytes bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 37 + 11);
    return bytes;
}

std::string Encode(const TBytes& bytes, Opt option)
{
    return EncodeBase64Text(bytes.data(), static_cast<std::int32_t>(bytes.size()), option);
}

std::string Strip(std::string text, std::string_view drop = "\r\n")
{
    std::erase_if(text, [&](char c) { return drop.find(c) != std::string_view::npos; });
    return text;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
        lines.push_back(text.substr(start, at - start));
    lines.push_back(text.substr(start));
    return lines;
}

TEST(Base64Encoding, MatchesPublishedVectors)
{
    // RFC 4648, section 10.
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : vectors) {
        const TBytes bytes(plain.begin(), plain.end());
        for (Opt option : {Opt::None, Opt::InsertLineBreaks, Opt::InsertLineBreaksXE5Compat})
            EXPECT_EQ(Encode(bytes, option), encoded) << plain;
    }
}

TEST(Base64Encoding, UsesEveryAlphabetCharacterInOrder)
{
    // 48 bytes whose 6-bit groups run 0, 1, ..., 63.
    TBytes bytes;
    for (std::uint32_t v = 0; v < 64; v += 4) {
        const std::uint32_t bits = v << 18 | (v + 1) << 12 | (v + 2) << 6 | (v + 3);
        bytes.insert(bytes.end(), {static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 8),
                                   static_cast<std::uint8_t>(bits)});
    }
    EXPECT_EQ(Encode(bytes, Opt::None), "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
}

TEST(Base64Encoding, SingleZeroByteIsTwoAsAndTwoPads)
{
    for (Opt option : {Opt::None, Opt::InsertLineBreaks, Opt::InsertLineBreaksXE5Compat})
        EXPECT_EQ(Encode(TBytes{0}, option), "AA==");
}

TEST(Base64Encoding, UnknownOptionValueWritesOneLine)
{
    const TBytes bytes = Sequence(114);
    EXPECT_EQ(Encode(bytes, static_cast<Opt>(7)), Encode(bytes, Opt::None));
}

TEST(Base64Encoding, NegativeCountEncodesNothing)
{
    const std::uint8_t byte = 1;
    EXPECT_EQ(EncodeBase64Text(&byte, -1, Opt::InsertLineBreaks), "");
}

struct TLayoutCase {
    std::size_t Count;
    std::size_t NoneLength;
    std::size_t LineBreaksLength;
    bool LineBreaksEndsWithSeparator;
    std::size_t Xe5Length;
    bool Xe5EndsWithSeparator;
};

void PrintTo(const TLayoutCase& c, std::ostream* os)
{
    *os << c.Count << " bytes";
}

class Base64Layout : public ::testing::TestWithParam<TLayoutCase> {};

TEST_P(Base64Layout, GivesTheLengthsAndLineEndsOfEachLayout)
{
    const TLayoutCase& c = GetParam();
    const TBytes bytes = Sequence(c.Count);
    const std::string none = Encode(bytes, Opt::None);
    const std::string breaks = Encode(bytes, Opt::InsertLineBreaks);
    const std::string xe5 = Encode(bytes, Opt::InsertLineBreaksXE5Compat);

    EXPECT_EQ(none.size(), c.NoneLength);
    EXPECT_EQ(breaks.size(), c.LineBreaksLength);
    EXPECT_EQ(xe5.size(), c.Xe5Length);
    EXPECT_EQ(breaks.ends_with("\r\n"), c.LineBreaksEndsWithSeparator);
    EXPECT_EQ(xe5.ends_with("\r\n"), c.Xe5EndsWithSeparator);
    EXPECT_EQ(none.find('\r'), std::string::npos);
}

TEST_P(Base64Layout, BreaksOnlyAfterFullLinesOfTheSameCharacters)
{
    const TBytes bytes = Sequence(GetParam().Count);
    const std::string none = Encode(bytes, Opt::None);
    for (Opt option : {Opt::InsertLineBreaks, Opt::InsertLineBreaksXE5Compat}) {
        const std::string text = Encode(bytes, option);
        EXPECT_EQ(Strip(text), none);
        const std::vector<std::string> lines = Lines(text);
        for (std::size_t i = 0; i + 1 < lines.size(); ++i)
            EXPECT_EQ(lines[i].size(), 76u) << "line " << i;
        EXPECT_LE(lines.back().size(), 76u);
    }
}

TEST_P(Base64Layout, EveryLayoutDecodesToTheBytes)
{
    const TBytes bytes = Sequence(GetParam().Count);
    for (Opt option : {Opt::None, Opt::InsertLineBreaks, Opt::InsertLineBreaksXE5Compat}) {
        const std::string text = Encode(bytes, option);
        EXPECT_EQ(DecodeBase64Text(text), bytes);
        EXPECT_EQ(DecodeBase64Text(Strip(text)), bytes);
    }
}

#ifndef _WIN32
TEST_P(Base64Layout, SingleLineAgreesWithOpenSsl)
{
    const TBytes bytes = Sequence(GetParam().Count);
    std::string expected(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(expected.data()), bytes.data(),
                                  static_cast<int>(bytes.size()));
    expected.resize(static_cast<std::size_t>(n));
    EXPECT_EQ(Encode(bytes, Opt::None), expected);
}
#endif

// n, None, InsertLineBreaks (ends CR LF?), XE5 (ends CR LF?)
INSTANTIATE_TEST_SUITE_P(
    Boundaries, Base64Layout,
    ::testing::Values(TLayoutCase{0, 0, 0, false, 0, false}, TLayoutCase{1, 4, 4, false, 4, false},
                      TLayoutCase{3, 4, 4, false, 4, false}, TLayoutCase{32, 44, 44, false, 44, false},
                      TLayoutCase{55, 76, 76, false, 78, true}, TLayoutCase{56, 76, 76, false, 78, true},
                      TLayoutCase{57, 76, 78, true, 78, true}, TLayoutCase{58, 80, 82, false, 82, false},
                      TLayoutCase{112, 152, 154, false, 156, true}, TLayoutCase{113, 152, 154, false, 156, true},
                      TLayoutCase{114, 152, 156, true, 156, true}, TLayoutCase{171, 228, 234, true, 234, true}),
    [](const auto& info) { return "Input" + std::to_string(info.param.Count) + "Bytes"; });

TEST(Base64Encoding, FiftyEightBytesEndWithAShortPaddedLine)
{
    const std::string text = Encode(Sequence(58), Opt::InsertLineBreaks);
    EXPECT_EQ(text.substr(76, 2), "\r\n");
    EXPECT_TRUE(text.ends_with("=="));
    EXPECT_EQ(text, Encode(Sequence(58), Opt::InsertLineBreaksXE5Compat));
}

TEST(Base64Encoding, DigestSizedInputIsFortyFourCharactersEndingInPad)
{
    const std::string text = Encode(Sequence(32), Opt::None);
    EXPECT_EQ(text.size(), 44u);
    EXPECT_EQ(text.back(), '=');
}

struct TDecodeCase {
    const char* Name;
    std::string Text;
    std::string Expected;
};

void PrintTo(const TDecodeCase& c, std::ostream* os)
{
    *os << c.Name;
}

class Base64Decoding : public ::testing::TestWithParam<TDecodeCase> {};

TEST_P(Base64Decoding, SkipsEverythingOutsideTheAlphabet)
{
    const TBytes decoded = DecodeBase64Text(GetParam().Text);
    EXPECT_EQ(std::string(decoded.begin(), decoded.end()), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Base64Decoding,
    ::testing::Values(TDecodeCase{"Empty", "", ""}, TDecodeCase{"LineBreaks", "Zm9v\r\nYmFy\r\n", "foobar"},
                      TDecodeCase{"BlanksAndTabs", " Zm 9v\tYm\nFy ", "foobar"},
                      TDecodeCase{"BareLf", "Zm9v\nYmFy", "foobar"},
                      TDecodeCase{"PadInTheMiddle", "Zm=9v==YmFy", "foobar"},
                      TDecodeCase{"TwoPaddedGroupsJoin", "Zg==Zg==", std::string("\x66\x06\x60", 3)},
                      TDecodeCase{"TwoValuesWithoutPads", "Zg", "f"}, TDecodeCase{"TwoValuesWithPads", "Zg==", "f"},
                      TDecodeCase{"ThreeValues", "Zm8", "fo"}, TDecodeCase{"OneValueGivesNothing", "Z", ""},
                      TDecodeCase{"FiveValuesDropTheLast", "Zm9vY", "foo"},
                      TDecodeCase{"UrlSafeCharactersSkipped", "Zm-9_v", "foo"},
                      TDecodeCase{"HighBytesSkipped",
                                  "\xC3\xA9Zm\x80\xFF"
                                  "9v",
                                  "foo"},
                      TDecodeCase{"OnlyPads", "====", ""}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(Base64Decoding, ExtraBreaksBlanksAndPadsBetweenGroupsChangeNothing)
{
    const TBytes bytes = Sequence(200);
    const std::string text = Encode(bytes, Opt::InsertLineBreaks);
    std::string noisy;
    for (std::size_t i = 0; i < text.size(); ++i) {
        noisy += text[i];
        if (i % 4 == 3)
            noisy += i % 8 == 3 ? "\r\n \t" : "=";
    }
    EXPECT_EQ(DecodeBase64Text(noisy), bytes);
}

}  // namespace
