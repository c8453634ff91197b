// The C interface's make and read: blocks made and read back in each code page, and every refusal
// a launching program can meet, each as a return code. Minutes are fixed, never the clock.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "launch/LaunchTesting.h"

using namespace LaunchTesting;

namespace {

const std::vector<std::string> Ascii{"C:\\pb\\rasphone.pbk", "office vpn", "alice", "p@ss, \"word\"", "vpn.example"};

struct TRoundTrip {
    const char* Name;
    std::uint32_t CodePage;
    std::vector<std::string> Items;
};

class RoundTripTest : public ::testing::TestWithParam<TRoundTrip> {};

TEST_P(RoundTripTest, ReadsBackWhatWasMadeInThatMinuteAndTheNext)
{
    const TMade made = Make(GetParam().Items, GetParam().CodePage, &MadeAt);
    ASSERT_EQ(made.Result, CORVANE_OK) << corvane_error_text(made.Result);
    EXPECT_EQ(made.Block.find_first_of("\r\n"), std::string::npos);

    for (const corvane_minute& at : {MadeAt, NextMinute}) {
        const TRead read = Read(made.Block, GetParam().CodePage, &at);
        ASSERT_EQ(read.Result, CORVANE_OK) << corvane_error_text(read.Result);
        EXPECT_EQ(read.Items, GetParam().Items);
    }
}

INSTANTIATE_TEST_SUITE_P(
    CodePages, RoundTripTest,
    ::testing::Values(
        TRoundTrip{"Utf8Ascii", 65001, Ascii},
        TRoundTrip{"Utf8Japanese", 65001, {"C:\\電話帳\\rasphone.pbk", "本社 VPN", "山田", "パスワード\t1", "03-1234"}},
        TRoundTrip{"Utf8Astral", 65001, {"pb", "entry 😀", "user", "pass", "phone"}},
        TRoundTrip{"Windows1252", 1252, {"C:\\Bücher\\pb.pbk", "Büro", "José", "naïve €uro", "+49 30"}},
        TRoundTrip{"ShiftJis", 932, {"C:\\電話帳\\rasphone.pbk", "本社 VPN", "山田", "ﾊﾟｽﾜｰﾄﾞ", "03-1234"}},
        TRoundTrip{"SixItems", 65001, {"pb", "entry", "user", "pass", "phone", "extra"}},
        // The reader splits at commas and passes over empty unquoted items: such items are quoted.
        TRoundTrip{"CommaAndEmptyItems", 65001, {"pb", "", "user", "pa,ss", ""}}),
    [](const auto& info) { return std::string(info.param.Name); });

// The same items under another code page give another block: the code page is part of what is
// encrypted, and a reader must use the maker's.
TEST(LaunchBlockTest, BlockOfOneCodePageIsRejectedUnderAnother)
{
    const std::vector<std::string> items{"pb", "Büro", "user", "pass", "phone"};
    const TMade made = Make(items, 1252, &MadeAt);
    ASSERT_EQ(made.Result, CORVANE_OK);
    EXPECT_EQ(Read(made.Block, 65001, &MadeAt).Result, CORVANE_E_BLOCK_REJECTED);
    EXPECT_EQ(Read(made.Block, 1252, &MadeAt).Items, items);
}

// A block made in the last minute of a day is read in the first of the next, across a year's end
// and across the leap days of a leap year and of a year divisible by 400.
struct TMinuteChange {
    const char* Name;
    corvane_minute Made;
    corvane_minute Read;
};

void PrintTo(const TMinuteChange& change, std::ostream* os)
{
    *os << change.Name;
}

class MinuteChangeTest : public ::testing::TestWithParam<TMinuteChange> {};

TEST_P(MinuteChangeTest, BlockIsReadInTheNextMinute)
{
    const TMade block = Make(Ascii, 65001, &GetParam().Made);
    ASSERT_EQ(block.Result, CORVANE_OK) << corvane_error_text(block.Result);
    EXPECT_EQ(Read(block.Block, 65001, &GetParam().Read).Items, Ascii);
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, MinuteChangeTest,
    ::testing::Values(TMinuteChange{"LastMinuteOfAYear", {2023, 12, 31, 23, 59}, {2024, 1, 1, 0, 0}},
                      TMinuteChange{"IntoLeapDay", {2024, 2, 28, 23, 59}, {2024, 2, 29, 0, 0}},
                      TMinuteChange{"OutOfLeapDay", {2024, 2, 29, 23, 59}, {2024, 3, 1, 0, 0}},
                      TMinuteChange{"OutOfLeapDayOf2000", {2000, 2, 29, 23, 59}, {2000, 3, 1, 0, 0}}),
    [](const auto& info) { return std::string(info.param.Name); });

// --- refusals of make ---

struct TMakeRefusal {
    const char* Name;
    std::vector<std::string> Items;
    std::uint32_t CodePage;
    corvane_minute At;
    int Expected;
};

class MakeRefusalTest : public ::testing::TestWithParam<TMakeRefusal> {};

TEST_P(MakeRefusalTest, ReturnsTheCodeAndWritesNothing)
{
    const std::vector<const char*> items = Pointers(GetParam().Items);
    char buffer[4096];
    std::memset(buffer, 'Z', sizeof buffer);
    std::size_t size = sizeof buffer;
    EXPECT_EQ(corvane_make_block(items.data(), items.size(), GetParam().CodePage, &GetParam().At, buffer, &size),
              GetParam().Expected);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, 'Z'));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MakeRefusalTest,
    ::testing::Values(
        TMakeRefusal{"FourItems", {"pb", "entry", "user", "pass"}, 65001, MadeAt, CORVANE_E_INVALID_ARGUMENT},
        TMakeRefusal{"NoItems", {}, 65001, MadeAt, CORVANE_E_INVALID_ARGUMENT},
        TMakeRefusal{
            "JapaneseUnder1252", {"pb", "本社", "user", "pass", "phone"}, 1252, MadeAt, CORVANE_E_NOT_REPRESENTABLE},
        TMakeRefusal{"EuroUnder932", {"pb", "entry", "user", "€", "phone"}, 932, MadeAt, CORVANE_E_NOT_REPRESENTABLE},
        TMakeRefusal{
            "InvalidUtf8", {"pb", "entry", "user", "pass\xC3(", "phone"}, 65001, MadeAt, CORVANE_E_INVALID_ARGUMENT},
        TMakeRefusal{"EncodedSurrogate",
                     {"pb", "entry", "user", "\xED\xA0\x80", "phone"},
                     65001,
                     MadeAt,
                     CORVANE_E_INVALID_ARGUMENT},
        TMakeRefusal{"UnknownCodePage", Ascii, 12345, MadeAt, CORVANE_E_INVALID_ARGUMENT},
        TMakeRefusal{"February30", Ascii, 65001, {2024, 2, 30, 10, 15}, CORVANE_E_INVALID_ARGUMENT},
        TMakeRefusal{"February29OfACommonYear", Ascii, 65001, {2023, 2, 29, 10, 15}, CORVANE_E_INVALID_ARGUMENT},
        TMakeRefusal{"February29Of2100", Ascii, 65001, {2100, 2, 29, 10, 15}, CORVANE_E_INVALID_ARGUMENT},
        TMakeRefusal{"Hour24", Ascii, 65001, {2024, 3, 10, 24, 0}, CORVANE_E_INVALID_ARGUMENT},
        TMakeRefusal{"Minute60", Ascii, 65001, {2024, 3, 10, 10, 60}, CORVANE_E_INVALID_ARGUMENT},
        TMakeRefusal{"YearZero", Ascii, 65001, {0, 3, 10, 10, 15}, CORVANE_E_INVALID_ARGUMENT}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(LaunchBlockTest, MakeRefusesNullArguments)
{
    const std::vector<const char*> items = Pointers(Ascii);
    char buffer[512];
    std::size_t size = sizeof buffer;
    EXPECT_EQ(corvane_make_block(nullptr, 5, 65001, &MadeAt, buffer, &size), CORVANE_E_INVALID_ARGUMENT);
    EXPECT_EQ(corvane_make_block(items.data(), 5, 65001, &MadeAt, buffer, nullptr), CORVANE_E_INVALID_ARGUMENT);
    std::vector<const char*> withNull = items;
    withNull[3] = nullptr;
    EXPECT_EQ(corvane_make_block(withNull.data(), 5, 65001, &MadeAt, buffer, &size), CORVANE_E_INVALID_ARGUMENT);
}

// A short buffer gets nothing, and the size needed; that size is enough.
TEST(LaunchBlockTest, ShortBufferIsToldTheSizeNeeded)
{
    const std::vector<const char*> items = Pointers(Ascii);
    std::size_t needed = 0;
    ASSERT_EQ(corvane_make_block(items.data(), 5, 65001, &MadeAt, nullptr, &needed), CORVANE_E_BUFFER_TOO_SMALL);
    ASSERT_GT(needed, 1u);

    std::string buffer(needed - 1, 'Z');
    std::size_t size = buffer.size();
    EXPECT_EQ(corvane_make_block(items.data(), 5, 65001, &MadeAt, buffer.data(), &size), CORVANE_E_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, needed);
    EXPECT_EQ(buffer, std::string(needed - 1, 'Z'));

    buffer.assign(needed, 'Z');
    size = buffer.size();
    EXPECT_EQ(corvane_make_block(items.data(), 5, 65001, &MadeAt, buffer.data(), &size), CORVANE_OK);
    EXPECT_EQ(size, needed);
    EXPECT_EQ(std::strlen(buffer.c_str()) + 1, needed);
}

// Every function that fills a buffer sets *size to the exact size also when the buffer is larger
// than needed, and writes nothing past it.
struct TFilling {
    const char* Name;
    std::function<int(char* buffer, std::size_t* size)> Fill;
    std::function<std::size_t()> Expected;  // the result's size, NULs included
};

void PrintTo(const TFilling& filling, std::ostream* os)
{
    *os << filling.Name;
}

std::size_t ItemsSize(const std::vector<std::string>& items)
{
    std::size_t size = 0;
    for (const std::string& item : items)
        size += item.size() + 1;
    return size;
}

class LargeBufferTest : public ::testing::TestWithParam<TFilling> {};

TEST_P(LargeBufferTest, GetsTheExactSizeBack)
{
    const std::size_t expected = GetParam().Expected();
    std::string buffer(expected + 64, 'Z');
    std::size_t size = buffer.size();
    ASSERT_EQ(GetParam().Fill(buffer.data(), &size), CORVANE_OK);
    EXPECT_EQ(size, expected);
    EXPECT_EQ(buffer.substr(expected), std::string(64, 'Z'));
    corvane_wipe(buffer.data(), buffer.size());
}

INSTANTIATE_TEST_SUITE_P(Functions, LargeBufferTest,
                         ::testing::Values(
                             // A block's length follows from the items alone (the salt is of fixed length): one made
                             // through the size question tells it.
                             TFilling{"MakeBlock",
                                      [](char* buffer, std::size_t* size) {
                                          const std::vector<const char*> items = Pointers(Ascii);
                                          return corvane_make_block(items.data(), items.size(), 65001, &MadeAt, buffer,
                                                                    size);
                                      },
                                      [] { return Make(Ascii, 65001, &MadeAt).Block.size() + 1; }},
                             TFilling{"ReadBlock",
                                      [](char* buffer, std::size_t* size) {
                                          std::size_t count = 0;
                                          return corvane_read_block(Make(Ascii, 65001, &MadeAt).Block.c_str(), 65001,
                                                                    &MadeAt, buffer, size, &count);
                                      },
                                      [] { return ItemsSize(Ascii); }},
                             TFilling{"Explain",
                                      [](char* buffer, std::size_t* size) { return corvane_explain(0, buffer, size); },
                                      [] { return std::strlen("success: the connection was made") + 1; }}),
                         [](const auto& info) { return std::string(info.param.Name); });

// --- refusals of read ---

TEST(LaunchBlockTest, BlockTwoMinutesOldIsRejected)
{
    const TMade made = Make(Ascii, 65001, &MadeAt);
    ASSERT_EQ(made.Result, CORVANE_OK);
    EXPECT_EQ(Read(made.Block, 65001, &TwoMinutesOn).Result, CORVANE_E_BLOCK_REJECTED);
    // Nor is a block read before the minute it was made in.
    const corvane_minute before{2024, 3, 10, 10, 14};
    EXPECT_EQ(Read(made.Block, 65001, &before).Result, CORVANE_E_BLOCK_REJECTED);
}

TEST(LaunchBlockTest, CorruptedBlockIsRejected)
{
    const TMade made = Make(Ascii, 65001, &MadeAt);
    ASSERT_EQ(made.Result, CORVANE_OK);
    // A changed character in the middle of the ciphertext, a cut block, and text that is no base64.
    std::string changed = made.Block;
    changed[changed.size() / 2] = changed[changed.size() / 2] == 'A' ? 'B' : 'A';
    for (const std::string& block :
         {changed, made.Block.substr(0, made.Block.size() - 8), std::string(""), std::string("not a block!")}) {
        EXPECT_EQ(Read(block, 65001, &MadeAt).Result, CORVANE_E_BLOCK_REJECTED) << block;
    }
}

TEST(LaunchBlockTest, ReadRefusesBadArguments)
{
    const TMade made = Make(Ascii, 65001, &MadeAt);
    ASSERT_EQ(made.Result, CORVANE_OK);
    char items[512];
    std::size_t size = sizeof items;
    std::size_t count = 0;
    EXPECT_EQ(corvane_read_block(nullptr, 65001, &MadeAt, items, &size, &count), CORVANE_E_INVALID_ARGUMENT);
    EXPECT_EQ(corvane_read_block(made.Block.c_str(), 65001, &MadeAt, items, nullptr, &count),
              CORVANE_E_INVALID_ARGUMENT);
    EXPECT_EQ(corvane_read_block(made.Block.c_str(), 65001, &MadeAt, items, &size, nullptr),
              CORVANE_E_INVALID_ARGUMENT);
    const corvane_minute bad{2024, 13, 1, 0, 0};
    EXPECT_EQ(corvane_read_block(made.Block.c_str(), 65001, &bad, items, &size, &count), CORVANE_E_INVALID_ARGUMENT);
    EXPECT_EQ(corvane_read_block(made.Block.c_str(), 12345, &MadeAt, items, &size, &count), CORVANE_E_INVALID_ARGUMENT);
}

TEST(LaunchBlockTest, ReadIntoShortBufferTellsSizeAndCount)
{
    const TMade made = Make(Ascii, 65001, &MadeAt);
    ASSERT_EQ(made.Result, CORVANE_OK);
    std::size_t expected = 0;
    for (const std::string& item : Ascii)
        expected += item.size() + 1;
    std::string items(expected - 1, 'Z');
    std::size_t size = items.size();
    std::size_t count = 0;
    EXPECT_EQ(corvane_read_block(made.Block.c_str(), 65001, &MadeAt, items.data(), &size, &count),
              CORVANE_E_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, expected);
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(items, std::string(expected - 1, 'Z'));
}

// --- the smaller functions ---

TEST(LaunchBlockTest, AbiVersionIsTheHeaders)
{
    EXPECT_EQ(corvane_abi_version(), static_cast<std::uint32_t>(CORVANE_LAUNCH_ABI_VERSION));
}

TEST(LaunchBlockTest, EveryReturnCodeHasItsOwnText)
{
    std::vector<std::string> texts;
    for (int code = CORVANE_E_INTERNAL; code <= CORVANE_OK; ++code) {
        ASSERT_NE(corvane_error_text(code), nullptr);
        texts.emplace_back(corvane_error_text(code));
    }
    for (std::size_t i = 0; i < texts.size(); ++i)
        for (std::size_t j = i + 1; j < texts.size(); ++j)
            EXPECT_NE(texts[i], texts[j]);
    EXPECT_STREQ(corvane_error_text(-100), "unknown return code");
    EXPECT_STREQ(corvane_error_text(1), "unknown return code");
}

TEST(LaunchBlockTest, ExplainGivesTheToolsMeaning)
{
    std::size_t size = 0;
    ASSERT_EQ(corvane_explain(0, nullptr, &size), CORVANE_E_BUFFER_TOO_SMALL);
    std::string text(size, 'Z');
    ASSERT_EQ(corvane_explain(0, text.data(), &size), CORVANE_OK);
    EXPECT_STREQ(text.c_str(), "success: the connection was made");
    EXPECT_EQ(corvane_explain(0, nullptr, nullptr), CORVANE_E_INVALID_ARGUMENT);
}

TEST(LaunchBlockTest, WipeZeroesTheBytes)
{
    char bytes[] = "secret";
    corvane_wipe(bytes, sizeof bytes);
    EXPECT_EQ(std::string(bytes, sizeof bytes), std::string(sizeof bytes, '\0'));
    corvane_wipe(nullptr, 0);
}

}  // namespace
