#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/Exceptions.h"
#include "rtl/CodePagePin.h"
#include "rtl/Encoding.h"
#include "support/TestSupport.h"

namespace {

using TestSupport::FromHex;
using TestSupport::ToHex;
using TestSupport::U16;

std::string Hex(const TSecureBytes& bytes)
{
    return ToHex(bytes);
}

std::u16string Decode(const TEncoding& encoding, const TBytes& bytes)
{
    return std::u16string(encoding.GetString(bytes).View());
}

// ---------------------------------------------------------------------------------------
// Strict UTF-8

struct TUtf8Case {
    const char* Name;
    std::u16string Text;
    const char* Hex;
};

void PrintTo(const TUtf8Case& c, std::ostream* os)
{
    *os << c.Name;
}

class Utf8RoundTrip : public ::testing::TestWithParam<TUtf8Case> {};

TEST_P(Utf8RoundTrip, EncodesAndDecodesWithoutByteOrderMark)
{
    EXPECT_EQ(Hex(TEncoding::UTF8().GetBytes(GetParam().Text)), GetParam().Hex);
    EXPECT_EQ(Decode(TEncoding::UTF8(), FromHex(GetParam().Hex)), GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(Texts, Utf8RoundTrip,
                         ::testing::Values(TUtf8Case{"Empty", u"", ""}, TUtf8Case{"Ascii", u"Az09", "417a3039"},
                                           TUtf8Case{"Nul", std::u16string(1, u'\0'), "00"},
                                           TUtf8Case{"TwoBytes", u"\u00e9\u07ff", "c3a9dfbf"},
                                           TUtf8Case{"ThreeBytes", u"\u65e5\uffff", "e697a5efbfbf"},
                                           TUtf8Case{"SurrogatePair", u"\U0001F512", "f09f9492"},
                                           TUtf8Case{"HighestCharacter", u"\U0010FFFF", "f48fbfbf"},
                                           TUtf8Case{"ByteOrderMarkIsText", u"\ufeffA", "efbbbf41"}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(Utf8Encoding, LoneSurrogatesBecomeTheReplacementCharacter)
{
    const std::pair<std::u16string, const char*> cases[] = {
        {std::u16string(1, char16_t(0xD800)), "efbfbd"},
        {std::u16string{char16_t(0xDC00), u'a'}, "efbfbd61"},
        {std::u16string{u'a', char16_t(0xDBFF)}, "61efbfbd"},
        {std::u16string{char16_t(0xDC00), char16_t(0xD800)}, "efbfbdefbfbd"},
    };
    for (const auto& [text, hex] : cases)
        EXPECT_EQ(Hex(TEncoding::UTF8().GetBytes(text)), hex);
}

struct TInvalidUtf8 {
    const char* Name;
    const char* Hex;
};

void PrintTo(const TInvalidUtf8& c, std::ostream* os)
{
    *os << c.Hex;
}

class Utf8Invalid : public ::testing::TestWithParam<TInvalidUtf8> {};

TEST_P(Utf8Invalid, RaisesTheNoMappingError)
{
    try {
        Decode(TEncoding::UTF8(), FromHex(GetParam().Hex));
        ADD_FAILURE() << "decoded " << GetParam().Hex;
    } catch (const EEncodingError& e) {
        EXPECT_EQ(e.Message(), u"Unicode 文字のマッピングがターゲットのマルチバイト コード ページに存在しません");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, Utf8Invalid,
    ::testing::Values(TInvalidUtf8{"StrayContinuationByte", "80"}, TInvalidUtf8{"TruncatedAtTheEnd", "41c3"},
                      TInvalidUtf8{"TruncatedInTheMiddle", "e38141"}, TInvalidUtf8{"OverlongTwoBytes", "c080"},
                      TInvalidUtf8{"OverlongThreeBytes", "e08080"}, TInvalidUtf8{"OverlongFourBytes", "f0808080"},
                      TInvalidUtf8{"EncodedHighSurrogate", "eda080"}, TInvalidUtf8{"EncodedLowSurrogate", "edbfbf"},
                      TInvalidUtf8{"PastU10FFFF", "f4908080"}, TInvalidUtf8{"FiveByteForm", "f8888080"},
                      TInvalidUtf8{"ByteFF", "ff"}, TInvalidUtf8{"ByteFE", "fe"}),
    [](const auto& info) { return std::string(info.param.Name); });

// ---------------------------------------------------------------------------------------
// ASCII

TEST(AsciiEncoding, ReplacesEverythingAboveSevenBitsWithQuestionMark)
{
    EXPECT_EQ(Hex(TEncoding::ASCII().GetBytes(U16("a~\x7f é日🔒"))), "617e7f203f3f3f3f");
    EXPECT_EQ(Decode(TEncoding::ASCII(), FromHex("417f80ff00")), std::u16string(u"A\x7f??\0", 5));
}

// ---------------------------------------------------------------------------------------
// ANSI code page

TEST(AnsiEncoding, EmptyInBothDirections)
{
    EXPECT_TRUE(TEncoding::ANSI().GetBytes(u"").empty());
    EXPECT_EQ(Decode(TEncoding::ANSI(), {}), u"");
}

// One case of every table below: a text and its bytes under a code page (for the long runs, one
// unit of the run).
struct TAnsiCase {
    const char* Name;
    std::uint32_t CodePage;
    std::u16string Text;
    const char* Hex;
};

void PrintTo(const TAnsiCase& c, std::ostream* os)
{
    *os << c.Name;
}

// Each case pins its code page for the test.
class AnsiCodePageTest : public ::testing::TestWithParam<TAnsiCase> {
protected:
    TCodePagePin FPin;
};

class AnsiRoundTrip : public AnsiCodePageTest {};

TEST_P(AnsiRoundTrip, ConvertsThroughTheCodePage)
{
    PIN_CODE_PAGE(FPin, GetParam().CodePage);
    EXPECT_EQ(Hex(TEncoding::ANSI().GetBytes(GetParam().Text)), GetParam().Hex);
    EXPECT_EQ(Decode(TEncoding::ANSI(), FromHex(GetParam().Hex)), GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(CodePages, AnsiRoundTrip,
                         ::testing::Values(TAnsiCase{"Ascii1252", 1252, u"plain", "706c61696e"},
                                           TAnsiCase{"Latin1252", 1252, u"caf\u00e9 \u20ac", "636166e92080"},
                                           TAnsiCase{"Kanji932", 932, u"\u65e5\u672c", "93fa967b"},
                                           TAnsiCase{"Kana932", 932, u"\u30c6\u30b9\u30c8\uff71", "836583588367b1"},
                                           TAnsiCase{"Ascii932", 932, u"A-z", "412d7a"}
#ifndef _WIN32
                                           ,
                                           TAnsiCase{"Utf8", 65001, u"\u65e5\u00e9\U0001F512", "e697a5c3a9f09f9492"}
#endif
                                           ),
                         [](const auto& info) { return std::string(info.param.Name); });

class AnsiUnrepresentable : public AnsiCodePageTest {};

TEST_P(AnsiUnrepresentable, BecomesTheDefaultCharacter)
{
    PIN_CODE_PAGE(FPin, GetParam().CodePage);
    EXPECT_EQ(Hex(TEncoding::ANSI().GetBytes(GetParam().Text)), GetParam().Hex);
}

INSTANTIATE_TEST_SUITE_P(CodePages, AnsiUnrepresentable,
                         ::testing::Values(TAnsiCase{"Kanji1252", 1252, u"a\u65e5\u672cb", "613f3f62"},
                                           TAnsiCase{"Greek932", 932, u"x\u0531y", "783f79"}
#ifndef _WIN32
                                           ,
                                           TAnsiCase{"LoneSurrogate65001", 65001,
                                                     std::u16string{u'a', char16_t(0xD800), u'b'}, "61efbfbd62"},
                                           TAnsiCase{"Emoji1252", 1252, u"\U0001F512!", "3f21"}
#endif
                                           ),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(AnsiEncoding, DecodingNeverFails)
{
    TCodePagePin pin;
    for (const std::uint32_t codePage : {1252u, 932u}) {
        if (!pin.Pin(codePage))
            continue;
        const TBytes bytes = FromHex("41ff8081fe9300fc");
        EXPECT_NO_THROW(Decode(TEncoding::ANSI(), bytes)) << codePage;
        EXPECT_EQ(Decode(TEncoding::ANSI(), bytes).front(), u'A') << codePage;
    }
}

#ifdef _WIN32
TEST(AnsiEncoding, MapsBestFitWhereWindowsKnowsOne)
{
    TCodePagePin pin;
    PIN_CODE_PAGE(pin, 1252);
    EXPECT_EQ(Hex(TEncoding::ANSI().GetBytes(u"\u0100")), "41");
}
#else
TEST(AnsiEncoding, Utf8StandsInAsTheSystemCodePage)
{
    EXPECT_EQ(AnsiCodePage(), 65001u);
}

TEST(AnsiEncoding, UndecodableBytesBecomeReplacementCharacters)
{
    TCodePagePin pin;
    ASSERT_TRUE(pin.Pin(65001));
    EXPECT_EQ(Decode(TEncoding::ANSI(), FromHex("41ff42eda08043e381")), u"A\ufffdB\ufffd\ufffd\ufffdC\ufffd");
    ASSERT_TRUE(pin.Pin(932));
    EXPECT_EQ(Decode(TEncoding::ANSI(), FromHex("4193")), u"A\ufffd");
}

// Long runs of what the code page refuses, made of a repeated unit: the result is the unit's own
// result as often, whatever the run's length.
constexpr std::size_t RunUnits = 20000;

template <typename Text>
Text Repeated(const Text& unit, std::size_t count)
{
    Text text;
    text.reserve(unit.size() * count);
    for (std::size_t i = 0; i < count; ++i)
        text.insert(text.end(), unit.begin(), unit.end());
    return text;
}

class AnsiDecodingRun : public AnsiCodePageTest {};

TEST_P(AnsiDecodingRun, GivesEveryUnitItsOwnReplacements)
{
    ASSERT_TRUE(FPin.Pin(GetParam().CodePage));
    ASSERT_EQ(Decode(TEncoding::ANSI(), FromHex(GetParam().Hex)), GetParam().Text);
    EXPECT_EQ(Decode(TEncoding::ANSI(), Repeated(FromHex(GetParam().Hex), RunUnits)),
              Repeated(GetParam().Text, RunUnits));
}

INSTANTIATE_TEST_SUITE_P(
    CodePages, AnsiDecodingRun,
    ::testing::Values(TAnsiCase{"StrayBytes65001", 65001, u"\ufffd", "ff"},
                      TAnsiCase{"MixedWithText65001", 65001, u"A\ufffd\ufffd\ufffdB\u3042", "41ff80bf42e38182"},
                      TAnsiCase{"CutSequences65001", 65001, u"\ufffdA", "e38141"},
                      TAnsiCase{"UndefinedBytes1252", 1252, u"\ufffda\ufffd\ufffd\ufffd\ufffd", "81618d8f909d"},
                      TAnsiCase{"UndefinedBytes932", 932, u"\ufffd\ufffdA\ufffd@", "80a0418540"},
                      // Code pages 1255 and 1258 hold a base character back until they see whether a
                      // combining mark follows it. The replacement of a byte they refuse keeps its
                      // place after such a character.
                      TAnsiCase{"Between1258", 1258, u"a\ufffdb", "618162"},
                      TAnsiCase{"AtTheEnd1258", 1258, u"a\ufffd", "6181"},
                      TAnsiCase{"Runs1258", 1258, u"A\ufffd\ufffdBC\ufffd", "41818a42438d"},
                      TAnsiCase{"HebrewLetters1255", 1255, u"\u05d0\ufffd\u05d1", "e0ffe1"},
                      // A mark that follows still composes; the refused byte comes after the result.
                      TAnsiCase{"ComposedThenRefused1258", 1258, u"\u00e1\ufffdb", "61ec8162"}),
    [](const auto& info) { return std::string(info.param.Name); });

class AnsiEncodingRun : public AnsiCodePageTest {};

TEST_P(AnsiEncodingRun, GivesEveryUnitItsOwnDefaultCharacters)
{
    ASSERT_TRUE(FPin.Pin(GetParam().CodePage));
    ASSERT_EQ(Hex(TEncoding::ANSI().GetBytes(GetParam().Text)), GetParam().Hex);
    EXPECT_EQ(Hex(TEncoding::ANSI().GetBytes(Repeated(GetParam().Text, RunUnits))),
              Repeated(std::string(GetParam().Hex), RunUnits));
}

INSTANTIATE_TEST_SUITE_P(CodePages, AnsiEncodingRun,
                         ::testing::Values(TAnsiCase{"Kanji1252", 1252, u"a\u65e5", "613f"},
                                           TAnsiCase{"SurrogatePairs1252", 1252, u"\U0001F512", "3f"},
                                           TAnsiCase{"LoneSurrogates65001", 65001,
                                                     std::u16string{char16_t(0xDC00), u'b'}, "efbfbd62"},
                                           TAnsiCase{"Armenian932", 932, u"\u0531", "3f"}),
                         [](const auto& info) { return std::string(info.param.Name); });

// Each conversion follows the code page selected at the time, in both directions, also when an
// earlier one comes back.
TEST(AnsiEncoding, FollowsEveryChangeOfCodePage)
{
    struct TStep {
        std::uint32_t CodePage;
        const char* Hex;
        std::u16string Decoded;
        std::u16string Text;
        const char* Encoded;
    };
    const TStep steps[] = {
        {1252, "e9", u"\u00e9", u"\u00e9", "e9"},    {65001, "e9", u"\ufffd", u"\u00e9", "c3a9"},
        {932, "93fa", u"\u65e5", u"\u65e5", "93fa"}, {1252, "93fa", u"\u201c\u00fa", u"\u65e5", "3f"},
        {932, "e9", u"\ufffd", u"\u00e9", "3f"},     {65001, "93fa", u"\ufffd\ufffd", u"\u65e5", "e697a5"},
    };
    TCodePagePin pin;
    for (int round = 0; round < 2; ++round) {
        for (const TStep& step : steps) {
            ASSERT_TRUE(pin.Pin(step.CodePage));
            EXPECT_EQ(Decode(TEncoding::ANSI(), FromHex(step.Hex)), step.Decoded) << step.CodePage << " " << step.Hex;
            EXPECT_EQ(Hex(TEncoding::ANSI().GetBytes(step.Text)), step.Encoded) << step.CodePage << " " << step.Encoded;
        }
    }
}

// Code page 930 switches between single- and double-byte characters with shift bytes (0E out,
// 0F in). A conversion that ends in the double-byte state must not leave the next one there.
TEST(AnsiEncoding, EveryConversionStartsInTheInitialShiftState)
{
    TCodePagePin pin;
    ASSERT_TRUE(pin.Pin(930));
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(Hex(TEncoding::ANSI().GetBytes(u"\u3042")), "0e44810f");
        EXPECT_EQ(Hex(TEncoding::ANSI().GetBytes(u"a")), "62");
        EXPECT_EQ(Decode(TEncoding::ANSI(), FromHex("0e4481")), u"\u3042");
        EXPECT_EQ(Decode(TEncoding::ANSI(), FromHex("62")), u"a");
    }
}

// Threads convert at the same time without disturbing each other's shift state.
TEST(AnsiEncoding, ThreadsConvertSideBySide)
{
    TCodePagePin pin;
    ASSERT_TRUE(pin.Pin(930));
    struct TWork {
        std::u16string Text;
        const char* Hex;
    };
    const TWork works[] = {{u"\u3042\u3044", "0e448144820f"}, {u"ab", "6263"}, {u"a\u3042b", "620e44810f63"}};
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (const TWork& work : works) {
        threads.emplace_back([&work, &failures] {
            const TBytes bytes = FromHex(work.Hex);
            for (int i = 0; i < 2000; ++i) {
                if (Hex(TEncoding::ANSI().GetBytes(work.Text)) != work.Hex ||
                    Decode(TEncoding::ANSI(), bytes) != work.Text)
                    failures.fetch_add(1);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
}
#endif

TEST(AnsiEncoding, SelectedCodePageOverridesTheActiveOne)
{
    const std::uint32_t before = AnsiCodePage();
    const std::uint32_t other = before == 932 ? 1252 : 932;
    SetAnsiCodePage(other);
    const std::string kanji = Hex(TEncoding::ANSI().GetBytes(u"\u65e5"));
    const std::string latin = Hex(TEncoding::ANSI().GetBytes(u"\u00e9"));
    SetAnsiCodePage(before);
    EXPECT_EQ(AnsiCodePage(), before);
    EXPECT_EQ(other == 932 ? kanji : latin, other == 932 ? "93fa" : "e9");
}

TEST(AnsiEncoding, UnknownCodePageRaisesAndKeepsTheCurrentOne)
{
    const std::uint32_t before = AnsiCodePage();
    EXPECT_THROW(SetAnsiCodePage(12345), EOSError);
    EXPECT_EQ(AnsiCodePage(), before);
}

}  // namespace
