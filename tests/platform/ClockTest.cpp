#include <gtest/gtest.h>

#include <ctime>

#include "platform/Clock.h"
#include "support/TestSupport.h"

#ifndef _WIN32
#include <langinfo.h>
#include <locale.h>
#endif

namespace {

using TestSupport::U8;

long long MinuteIndex(const TLocalDateTime& t)
{
    return ((((static_cast<long long>(t.Year) * 13 + t.Month) * 32 + t.Day) * 24 + t.Hour) * 60) + t.Minute;
}

TLocalDateTime FromTm(const std::tm& t)
{
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, 0};
}

TEST(Clock, LocalNowLiesBetweenTwoReadingsOfTheCLibraryClock)
{
    const std::time_t before = std::time(nullptr);
    const TLocalDateTime now = LocalNow();
    const std::time_t after = std::time(nullptr);
    const TLocalDateTime low = FromTm(*std::localtime(&before));
    const TLocalDateTime high = FromTm(*std::localtime(&after));

    EXPECT_GE(MinuteIndex(now), MinuteIndex(low));
    EXPECT_LE(MinuteIndex(now), MinuteIndex(high));
    EXPECT_GE(now.Second, 0);
    EXPECT_LE(now.Second, 59);
    EXPECT_GE(now.Millisecond, 0);
    EXPECT_LE(now.Millisecond, 999);
}

TEST(Clock, UserSeparatorsAreAtMostOneCharacterAndStable)
{
    const TDateTimeSeparators& first = UserDateTimeSeparators();
    EXPECT_LE(first.Date.size(), 1u);
    EXPECT_LE(first.Time.size(), 1u);
    EXPECT_EQ(&first, &UserDateTimeSeparators());
}

#ifndef _WIN32

struct TFormatCase {
    const char* Name;
    const char* Format;
    const char16_t* Fallback;
    const char16_t* Expected;
};

class FormatSeparator : public testing::TestWithParam<TFormatCase> {};

TEST_P(FormatSeparator, TakesCharacterBetweenFirstTwoFields)
{
    const TFormatCase& c = GetParam();
    EXPECT_EQ(U8(FormatFieldSeparator(c.Format, c.Fallback)), U8(c.Expected)) << c.Format;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormatSeparator,
    testing::Values(
        TFormatCase{"UsSlashes", "%m/%d/%y", u"/", u"/"}, TFormatCase{"GermanPoints", "%d.%m.%Y", u"/", u"."},
        TFormatCase{"IsoDashes", "%Y-%m-%d", u"/", u"-"}, TFormatCase{"SpaceSeparated", "%e %B %Y", u"/", u" "},
        TFormatCase{"JapaneseDate", "%Y年%m月%d日", u"/", u"/"},
        TFormatCase{"JapaneseTime", "%H時%M分%S秒", u":", u":"},
        TFormatCase{"TwoCharacters", "%Y. %m. %d.", u"/", u"/"}, TFormatCase{"CompositeDate", "%D", u"-", u"/"},
        TFormatCase{"CompositeIsoDate", "%F", u"/", u"-"}, TFormatCase{"CompositeTime", "%T", u".", u":"},
        TFormatCase{"ModifiersAndWidths", "%-d.%_m.%EY", u"/", u"."},
        TFormatCase{"TimeWithColons", "%H:%M:%S", u".", u":"}, TFormatCase{"LetterIsNoSeparator", "%dT%m", u"/", u"/"},
        TFormatCase{"OneField", "%x", u"/", u"/"}, TFormatCase{"NoField", "date", u"/", u"/"},
        TFormatCase{"Empty", "", u":", u":"}),
    [](const testing::TestParamInfo<TFormatCase>& info) { return std::string(info.param.Name); });

TEST(Clock, CLocaleGivesSlashAndColon)
{
    const TDateTimeSeparators separators = LocaleDateTimeSeparators("C");
    EXPECT_EQ(U8(separators.Date), "/");
    EXPECT_EQ(U8(separators.Time), ":");
}

TEST(Clock, JapaneseLocaleGivesSlashAndColon)
{
    locale_t japanese = newlocale(LC_TIME_MASK, "ja_JP.UTF-8", static_cast<locale_t>(0));
    if (japanese == static_cast<locale_t>(0))
        GTEST_SKIP() << "ja_JP.UTF-8 is not generated on this machine (scripts/setup makes it)";
    // The locale's own formats carry kanji between the fields, so the fallbacks must apply.
    const std::string dateFormat = nl_langinfo_l(D_FMT, japanese);
    freelocale(japanese);
    ASSERT_NE(dateFormat.find("年"), std::string::npos) << dateFormat;

    const TDateTimeSeparators separators = LocaleDateTimeSeparators("ja_JP.UTF-8");
    EXPECT_EQ(U8(separators.Date), "/");
    EXPECT_EQ(U8(separators.Time), ":");
}

TEST(Clock, UnknownLocaleFallsBackToSlashAndColon)
{
    const TDateTimeSeparators separators = LocaleDateTimeSeparators("xx_NOWHERE.UTF-8");
    EXPECT_EQ(U8(separators.Date), "/");
    EXPECT_EQ(U8(separators.Time), ":");
}

#endif

}  // namespace
