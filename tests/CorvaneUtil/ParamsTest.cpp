#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CorvaneUtil/CorvaneUtilTestAccess.h"
#include "core/Exceptions.h"
#include "dialer/RefusalText.h"
#include "platform/CodePage.h"
#include "rtl/CodePagePin.h"
#include "rtl/DateUtils.h"
#include "support/TestSupport.h"

#ifndef _WIN32
#include "platform/posix/BcryptTesting.h"
#endif

namespace {

using TestSupport::U16;
using TestSupport::U8;
using TItems = std::vector<std::u16string>;

constexpr TLocalDateTime MadeAt{2024, 5, 6, 10, 15, 59, 400};

TStringList ListOf(const TItems& items)
{
    TStringList list;
    for (const auto& item : items)
        list.Add(item);
    return list;
}

template <typename TTexts>
std::string ShowTexts(const TTexts& items)
{
    std::string out = "[";
    for (const auto& item : items) {
        out += '<';
        out += U8(item);
        out += '>';
    }
    return out + "]";
}

std::string Show(const TItems& items)
{
    return ShowTexts(items);
}

// The list's own items (a braced list of texts takes the overload above).
template <typename TText>
std::string Show(const std::vector<TText>& items)
{
    return ShowTexts(items);
}

std::u16string BlockOf(const TItems& items, const TLocalDateTime& moment = MadeAt)
{
    std::u16string block;
    TCorvaneUtil::EncryptParams(ListOf(items), block, moment);
    return block;
}

// The message of a DecryptParams failure, or "" when it succeeded.
std::string DecryptFailure(const std::u16string& block, const TLocalDateTime& now, TStringList& list)
{
    try {
        TCorvaneUtil::DecryptParams(block, list, now);
        return "";
    } catch (const Exception& e) {
        return U8(e.Message());
    }
}

// What is told of a block that no key of the minutes tried verifies, without a search.
std::string ExpectedFailure(const std::u16string& block, const std::u16string& reason = RefusalText::NoKey)
{
    return U8(RefusalText::Message(block, reason));
}

class ParamsTest : public testing::Test {
protected:
    void TearDown() override
    {
#ifndef _WIN32
        BcryptTesting::ClearFailures();
#endif
    }
};

struct TWindowCase {
    const char* Name;
    TLocalDateTime ReadAt;
    bool Accepted;
};

class BlockWindow : public ParamsTest, public testing::WithParamInterface<TWindowCase> {};

TEST_P(BlockWindow, AcceptsOwnAndNextMinuteOnly)
{
    const TWindowCase& c = GetParam();
    const std::u16string block = BlockOf({u"pbk", u"entry", u"user", u"pass", u"123"});
    TStringList list;
    const std::string failure = DecryptFailure(block, c.ReadAt, list);
    if (c.Accepted) {
        EXPECT_EQ(failure, "");
        EXPECT_EQ(Show(list.Items()), Show({u"pbk", u"entry", u"user", u"pass", u"123"}));
    } else {
        EXPECT_EQ(failure, ExpectedFailure(block));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BlockWindow,
    testing::Values(TWindowCase{"AcceptsBlockInOwnMinute", {2024, 5, 6, 10, 15, 0, 0}, true},
                    TWindowCase{"AcceptsBlockFromPreviousMinute", {2024, 5, 6, 10, 16, 30, 0}, true},
                    TWindowCase{"RejectsBlockTwoMinutesOld", {2024, 5, 6, 10, 17, 0, 0}, false},
                    TWindowCase{"RejectsBlockFromNextMinute", {2024, 5, 6, 10, 14, 59, 0}, false},
                    TWindowCase{"RejectsSameMinuteOfAnotherHour", {2024, 5, 6, 11, 15, 30, 0}, false},
                    TWindowCase{"RejectsSameTimeOfAnotherDay", {2024, 5, 7, 10, 15, 30, 0}, false}),
    [](const testing::TestParamInfo<TWindowCase>& info) { return std::string(info.param.Name); });

TEST_F(ParamsTest, AcceptsBlockFromLastMinuteOfPreviousYear)
{
    const std::u16string block = BlockOf({u"a", u"b"}, {2023, 12, 31, 23, 59, 45, 0});
    TStringList list;
    EXPECT_EQ(DecryptFailure(block, {2024, 1, 1, 0, 0, 20, 0}, list), "");
    EXPECT_EQ(Show(list.Items()), Show({u"a", u"b"}));
    EXPECT_EQ(DecryptFailure(block, {2024, 1, 1, 0, 1, 0, 0}, list), ExpectedFailure(block));
}

struct TRoundTripCase {
    const char* Name;
    TItems Written;
    TItems Read;
};

class ParamsRoundTrip : public ParamsTest, public testing::WithParamInterface<TRoundTripCase> {};

TEST_P(ParamsRoundTrip, ReadsBackWhatTheWriterRulesKeep)
{
    const TRoundTripCase& c = GetParam();
    TStringList list = ListOf({u"stale"});
    EXPECT_EQ(DecryptFailure(BlockOf(c.Written), MadeAt, list), "");
    EXPECT_EQ(Show(list.Items()), Show(c.Read));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParamsRoundTrip,
    testing::Values(TRoundTripCase{"FiveItems",
                                   {u"C:\\ProgramData\\ras.pbk", u"Office VPN", u"user", u"pa\"ss word", u""},
                                   {u"C:\\ProgramData\\ras.pbk", u"Office VPN", u"user", u"pa\"ss word", u""}},
                    TRoundTripCase{"QuotedSpaces", {u"a", u"b c"}, {u"a", u"b c"}},
                    TRoundTripCase{"DoubledQuote", {u"d\"e"}, {u"d\"e"}},
                    TRoundTripCase{"CommaKept", {u"x,y"}, {u"x,y"}},
                    TRoundTripCase{"EmptyItemAmongOthersKept", {u"a", u"", u"b"}, {u"a", u"", u"b"}},
                    TRoundTripCase{"LoneEmptyItemKept", {u""}, {u""}}, TRoundTripCase{"EmptyList", {}, {}},
                    TRoundTripCase{"BlanksKept", {u" lead", u"trail ", u"t\tab"}, {u" lead", u"trail ", u"t\tab"}},
                    TRoundTripCase{"SevenItems",
                                   {u"1", u"2", u"3", u"4", u"5", u"6", u"7"},
                                   {u"1", u"2", u"3", u"4", u"5", u"6", u"7"}}),
    [](const testing::TestParamInfo<TRoundTripCase>& info) { return std::string(info.param.Name); });

TEST_F(ParamsTest, JapaneseItemsSurviveWhereTheCodePageCarriesThem)
{
    if (AnsiCodePage() != 932 && AnsiCodePage() != 65001)
        GTEST_SKIP() << "code page " << AnsiCodePage() << " cannot carry Japanese payload text";
    const TItems items{U16("電話帳"), U16("接続先 本社"), U16("ユーザー"), U16("パスワード"), u"0"};
    TStringList list;
    EXPECT_EQ(DecryptFailure(BlockOf(items), MadeAt, list), "");
    EXPECT_EQ(Show(list.Items()), Show(items));
}

TEST_F(ParamsTest, BlockIsOneLineOfBase64)
{
    const std::u16string block = BlockOf({std::u16string(300, u'x'), u"y"});
    ASSERT_GT(block.size(), 76u * 2);
    for (const char16_t c : block) {
        const bool base64 = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
                            c == u'+' || c == u'/' || c == u'=';
        ASSERT_TRUE(base64) << "character " << static_cast<int>(c);
    }
}

// The reader skips a stray character beyond ASCII, as the text operations do. Through code page
// 932, "ア" would become 0x83 0x41, and its trail byte is the base64 alphabet's "A".
TEST_F(ParamsTest, StrayCharacterBeyondAsciiInBlockIsSkipped)
{
    TCodePagePin pin;
    PIN_CODE_PAGE(pin, 932);
    const std::u16string block = BlockOf({u"pbk", u"entry", u"user", u"pass", u"123"});
    for (const std::size_t at : {std::size_t{0}, block.size() / 2, block.size()}) {
        const std::u16string spoiled = block.substr(0, at) + U16("ア") + block.substr(at);
        TStringList list;
        EXPECT_EQ(DecryptFailure(spoiled, MadeAt, list), "") << "at " << at;
        EXPECT_EQ(Show(list.Items()), Show({u"pbk", u"entry", u"user", u"pass", u"123"})) << "at " << at;
    }
}

TEST_F(ParamsTest, CallersListIsNeverChanged)
{
    TStringList list = ListOf({u"a b", u"c"});
    list.Delimiter = u';';
    std::u16string block;
    TCorvaneUtil::EncryptParams(list, block, MadeAt);
    EXPECT_EQ(Show(list.Items()), Show({u"a b", u"c"}));
    EXPECT_EQ(list.Delimiter, u';');
}

TEST_F(ParamsTest, FailedDecryptionLeavesListAsItWas)
{
    TStringList list = ListOf({u"kept", u"items"});
    for (const auto& [block, reason] :
         {std::pair{std::u16string(), RefusalText::NoArgument},
          std::pair{std::u16string(u"bm90IGEgYmxvY2s="), RefusalText::TooShort},
          std::pair{BlockOf({u"late"}, {2024, 5, 6, 10, 10, 0, 0}), RefusalText::NoKey}}) {
        EXPECT_EQ(DecryptFailure(block, MadeAt, list), ExpectedFailure(block, reason));
        EXPECT_EQ(Show(list.Items()), Show({u"kept", u"items"}));
    }
}

// A block that decrypts under the current key but whose digest does not match its list text.
std::u16string BlockWithWrongDigest(const TLocalDateTime& moment)
{
    std::u16string block;
    EXPECT_TRUE(
        TCorvaneUtil::Encrypt(std::u16string(32, u'0') + u"a,b", TCorvaneUtilTestAccess::GetMinuteKey(moment), block));
    return block;
}

TEST_F(ParamsTest, RejectsBlockWhoseDigestDoesNotMatch)
{
    const std::u16string block = BlockWithWrongDigest(MadeAt);
    TSecureText plain;
    ASSERT_TRUE(TCorvaneUtil::Decrypt(block, TCorvaneUtilTestAccess::GetMinuteKey(MadeAt), plain));
    TStringList list = ListOf({u"kept"});
    EXPECT_EQ(DecryptFailure(block, MadeAt, list), ExpectedFailure(block));
    EXPECT_EQ(Show(list.Items()), Show({u"kept"}));
}

#ifndef _WIN32
TEST_F(ParamsTest, DigestMismatchUnderCurrentKeyIsStillTriedUnderPrevious)
{
    const std::u16string block = BlockWithWrongDigest(MadeAt);
    TSecureText plain;
    BcryptTesting::ResetCounters();
    // Only the provider calls count here, not whether the key fits.
    (void)TCorvaneUtil::Decrypt(block, TCorvaneUtilTestAccess::GetMinuteKey(MadeAt), plain);
    const int currentKeyCalls = BcryptTesting::CallCount("BCryptDecrypt");
    BcryptTesting::ResetCounters();
    (void)TCorvaneUtil::Decrypt(block, TCorvaneUtilTestAccess::GetMinuteKey(IncMinute(MadeAt, -1)), plain);
    const int previousKeyCalls = BcryptTesting::CallCount("BCryptDecrypt");
    ASSERT_GT(currentKeyCalls, 0);
    ASSERT_GT(previousKeyCalls, 0);

    BcryptTesting::ResetCounters();
    TStringList list;
    EXPECT_EQ(DecryptFailure(block, MadeAt, list), ExpectedFailure(block));
    EXPECT_EQ(BcryptTesting::CallCount("BCryptDecrypt"), currentKeyCalls + previousKeyCalls);
}

TEST_F(ParamsTest, EncryptParamsRaisesWhenEncryptionFails)
{
    BcryptTesting::FailCall("BCryptEncrypt", static_cast<std::int32_t>(0xC0000001), 0, -1);
    std::u16string block = u"previous";
    try {
        TCorvaneUtil::EncryptParams(ListOf({u"a"}), block, MadeAt);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(U8(e.Message()), "暗号化に失敗");
    }
    EXPECT_EQ(block, u"");
}
#endif

TEST_F(ParamsTest, EncryptKeepsLoneLineBreaksButDropsPairs)
{
    // The base64 alphabet has no CR or LF, so a whole block shows only that pairs are gone;
    // what the decryption gives back shows the text itself is untouched.
    std::u16string block;
    ASSERT_TRUE(TCorvaneUtil::Encrypt(u"line\r\nnext\rx\ny", u"key", block));
    EXPECT_EQ(block.find_first_of(u"\r\n"), std::u16string::npos);
    TSecureText plain(u"stale");
    ASSERT_TRUE(TCorvaneUtil::Decrypt(block, u"key", plain));
    EXPECT_EQ(plain, u"line\r\nnext\rx\ny");
}

TEST_F(ParamsTest, DecryptOfEmptyTextFailsWithEmptyResult)
{
    TSecureText plain(u"stale");
    EXPECT_FALSE(TCorvaneUtil::Decrypt(u"", u"key", plain));
    EXPECT_EQ(plain, u"");
}

// The fingerprint that a launching program can log: SHA-256's published vectors, and UTF-8 bytes.
TEST_F(ParamsTest, FingerprintIsTheStartOfSha256OverUtf8)
{
    EXPECT_EQ(TCorvaneUtil::BlockFingerprint(u"abc"), u"ba7816bf8f01cfea");
    EXPECT_EQ(TCorvaneUtil::BlockFingerprint(u""), u"e3b0c44298fc1c14");
    EXPECT_EQ(TCorvaneUtil::BlockFingerprint(u"日本語ブロック"), u"cf751a8ea66d5f87");
}

// Each reason a block is refused for, told by its length, fingerprint and reason, never quoted.
TEST_F(ParamsTest, RefusalTellsWhyWithoutTheBlock)
{
    const std::u16string late = BlockOf({u"pbk", u"entry", u"user", u"Secret-Password-7", u"1"}, IncMinute(MadeAt, -5));
    const struct {
        std::u16string Block;
        TParamsRefusal Refusal;
        const std::u16string& Reason;
    } cases[] = {
        {u"", TParamsRefusal::NoArgument, RefusalText::NoArgument},
        {u"bm90IGEgYmxvY2s=", TParamsRefusal::TooShort, RefusalText::TooShort},
        // 58 bytes: one short of a salt and the smallest cipher output.
        {late.substr(0, 76) + u"==", TParamsRefusal::TooShort, RefusalText::TooShort},
        {late, TParamsRefusal::NoKey, RefusalText::NoKey},
    };
    for (const auto& c : cases) {
        TStringList list;
        try {
            TCorvaneUtil::DecryptParams(c.Block, list, MadeAt);
            ADD_FAILURE() << "accepted " << U8(c.Block);
        } catch (const EParamsRejected& e) {
            EXPECT_EQ(e.Refusal(), c.Refusal);
            EXPECT_EQ(U8(e.Message()), ExpectedFailure(c.Block, c.Reason));
            if (c.Block.size() >= 16) {
                EXPECT_EQ(e.Message().find(c.Block.substr(0, 16)), std::u16string::npos);
            }
        }
    }
}

// The minute a refused block was made for, searched outward from now: the time bound asks before
// every minute tried, so a count of its calls stands in for the clock.
struct TSearchCase {
    const char* Name;
    TLocalDateTime MadeFor;
    int Span;
    int MinutesAllowed;  // how many minutes the bound lets the search try
    const char16_t* Line;
    TLocalDateTime Now = MadeAt;
};

class MinuteSearch : public ParamsTest, public testing::WithParamInterface<TSearchCase> {};

TEST_P(MinuteSearch, NamesTheMinuteOrHowFarItLooked)
{
    const TSearchCase& c = GetParam();
    const std::u16string block = BlockOf({u"pbk", u"entry", u"user", u"pass", u"123"}, c.MadeFor);
    TMinuteSearch search;
    search.Span = c.Span;
    int asked = 0;
    search.TimeIsUp = [&] { return ++asked > c.MinutesAllowed; };
    TStringList list;
    try {
        TCorvaneUtil::DecryptParams(block, list, c.Now, search);
        FAIL() << "accepted";
    } catch (const EParamsRejected& e) {
        EXPECT_EQ(U8(e.Message()), U8(RefusalText::Message(block, RefusalText::NoKey, c.Line)));
    }
    EXPECT_EQ(list.Count(), 0);
}

constexpr int Unbounded = 1 << 30;

INSTANTIATE_TEST_SUITE_P(
    Cases, MinuteSearch,
    testing::Values(
        // A late or replayed block.
        TSearchCase{"SevenMinutesLate",
                    {2024, 5, 6, 10, 8, 0, 0},
                    26 * 60,
                    Unbounded,
                    u"作成時刻: 2024/05/06 10:08 (現在の7分前)"},
        // A launching program in another time zone, either side, across midnight.
        // (Each minute tried costs a key derivation, and more under the test build's provider
        // counters: the hours are shown near enough to stay quick.)
        TSearchCase{
            "HourBehind", {2024, 5, 6, 9, 15, 0, 0}, 26 * 60, Unbounded, u"作成時刻: 2024/05/06 09:15 (現在の1時間前)"},
        TSearchCase{"AheadIntoTheNextDay",
                    {2024, 5, 7, 0, 55, 0, 0},
                    26 * 60,
                    Unbounded,
                    u"作成時刻: 2024/05/07 00:55 (現在の1時間5分後)",
                    {2024, 5, 6, 23, 50, 0, 0}},
        TSearchCase{"MinuteAhead", {2024, 5, 6, 10, 16, 0, 0}, 26 * 60, 1, u"作成時刻: 2024/05/06 10:16 (現在の1分後)"},
        // Beyond the span: another key, as far as can be told.
        TSearchCase{"BeyondTheSpan",
                    {2024, 5, 6, 11, 0, 0, 0},
                    30,
                    Unbounded,
                    u"作成時刻: 前後30分のどの分の鍵でも検証できません (別の鍵のブロック)"},
        // Cut short by the bound after 25 minutes tried: +1, then -2 and +2 up to -13 and +13.
        TSearchCase{"CutShortByTheBound",
                    {2024, 5, 6, 11, 0, 0, 0},
                    26 * 60,
                    25,
                    u"作成時刻: 前後13分のどの分の鍵でも検証できません (時間制限で探索を中断)"},
        // Cut short after the minute before a distance but not the minute after it.
        TSearchCase{"CutShortBetweenTheSides",
                    {2024, 5, 6, 11, 0, 0, 0},
                    26 * 60,
                    24,
                    u"作成時刻: 前後12分のどの分の鍵でも検証できません (時間制限で探索を中断)"},
        TSearchCase{"FoundJustWithinTheBound",
                    {2024, 5, 6, 10, 2, 0, 0},
                    26 * 60,
                    24,
                    u"作成時刻: 2024/05/06 10:02 (現在の13分前)"}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
