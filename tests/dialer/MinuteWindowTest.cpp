// A parameter block is good in the minute it was made and the next one, judged by the dialer's own
// clock. faketime sets that clock for the child; natively only.

#ifndef _WIN32

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "CorvaneUtil/CorvaneUtil.h"
#include "dialer/DialerHarness.h"
#include "dialer/RefusalText.h"
#include "rtl/StringList.h"
#include "support/TestSupport.h"

using namespace DialerTesting;

namespace {

struct TMinuteCase {
    const char* Name;
    TLocalDateTime MadeAt;
    const char* DialerClock;  // as faketime takes it
    bool Accepted;
    // For a block refused: the minute its record names, found by the dialer's search.
    const char16_t* MinuteLine = u"";
};

class MinuteWindow : public ::testing::TestWithParam<TMinuteCase> {
protected:
    std::string BlockMadeAt(const TLocalDateTime& moment)
    {
        TStringList list;
        for (const char16_t* item : {u"book", u"entry", u"user", u"password", u"123"})
            list.Add(item);
        std::u16string block;
        TCorvaneUtil::EncryptParams(list, block, moment);
        return TestSupport::U8(block);
    }

    TDialerHarness Harness;
};

TEST_P(MinuteWindow, DialerJudgesTheBlockByItsOwnClock)
{
    const std::string block = BlockMadeAt(GetParam().MadeAt);
    // A sanitizer build refuses faketime's preloaded library unless told not to check.
    const char* asanOptions = std::getenv("ASAN_OPTIONS");
    Harness.Environment().emplace_back(
        "ASAN_OPTIONS", std::string(asanOptions != nullptr ? asanOptions : "") + ":verify_asan_link_order=0");

    const TestSupport::TChildExit exit =
        Harness.RunThrough("faketime", {"-f", GetParam().DialerClock, Harness.DialerPath().string(), block});

    if (GetParam().Accepted) {
        EXPECT_EQ(exit.Status, 0u) << exit.Output;
        EXPECT_TRUE(Harness.Recorded());
        EXPECT_TRUE(Harness.Logged().empty());
    } else {
        EXPECT_EQ(exit.Status, SeenStatus(NoDialResult)) << exit.Output;
        EXPECT_FALSE(Harness.Recorded());
        const std::vector<TLoggedMessage> logged = Harness.Logged();
        ASSERT_EQ(logged.size(), 1u);
        // Told by its length and fingerprint and the minute it was made for, never quoted.
        EXPECT_EQ(logged[0].Message,
                  RefusalText::Message(TestSupport::U16(block), RefusalText::NoKey, GetParam().MinuteLine));
        EXPECT_EQ(TestSupport::U8(logged[0].Message).find(block.substr(0, 16)), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Clocks, MinuteWindow,
    ::testing::Values(TMinuteCase{"SameMinute", {2024, 3, 10, 10, 15, 2, 0}, "2024-03-10 10:15:40", true},
                      TMinuteCase{"NextMinute", {2024, 3, 10, 10, 15, 59, 0}, "2024-03-10 10:16:30", true},
                      TMinuteCase{"TwoMinutesLater",
                                  {2024, 3, 10, 10, 15, 59, 0},
                                  "2024-03-10 10:17:00",
                                  false,
                                  u"作成時刻: 2024/03/10 10:15 (現在の2分前)"},
                      TMinuteCase{"MinuteBefore",
                                  {2024, 3, 10, 10, 15, 0, 0},
                                  "2024-03-10 10:14:59",
                                  false,
                                  u"作成時刻: 2024/03/10 10:15 (現在の1分後)"},
                      TMinuteCase{"AcrossTheYear", {2023, 12, 31, 23, 59, 30, 0}, "2024-01-01 00:00:10", true}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace

#endif
