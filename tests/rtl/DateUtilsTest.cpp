#include <gtest/gtest.h>

#include "rtl/DateUtils.h"

namespace {

struct TMinuteCase {
    const char* Name;
    TLocalDateTime From;
    int Minutes;
    TLocalDateTime Expected;
};

class IncMinuteCases : public testing::TestWithParam<TMinuteCase> {};

TEST_P(IncMinuteCases, CarriesAcrossCalendar)
{
    const TMinuteCase& c = GetParam();
    EXPECT_EQ(IncMinute(c.From, c.Minutes), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IncMinuteCases,
    testing::Values(TMinuteCase{"WithinHour", {2024, 5, 6, 10, 16, 30, 250}, -1, {2024, 5, 6, 10, 15, 30, 250}},
                    TMinuteCase{"AcrossHour", {2024, 5, 6, 11, 0, 5, 0}, -1, {2024, 5, 6, 10, 59, 5, 0}},
                    TMinuteCase{"AcrossDay", {2024, 5, 7, 0, 0, 0, 0}, -1, {2024, 5, 6, 23, 59, 0, 0}},
                    TMinuteCase{"AcrossMonth", {2024, 5, 1, 0, 0, 0, 0}, -1, {2024, 4, 30, 23, 59, 0, 0}},
                    TMinuteCase{"AcrossYear", {2024, 1, 1, 0, 0, 59, 999}, -1, {2023, 12, 31, 23, 59, 59, 999}},
                    TMinuteCase{"IntoLeapDay", {2024, 3, 1, 0, 0, 0, 0}, -1, {2024, 2, 29, 23, 59, 0, 0}},
                    TMinuteCase{"CommonYearFebruary", {2023, 3, 1, 0, 0, 0, 0}, -1, {2023, 2, 28, 23, 59, 0, 0}},
                    TMinuteCase{"CenturyNotLeap", {1900, 3, 1, 0, 0, 0, 0}, -1, {1900, 2, 28, 23, 59, 0, 0}},
                    TMinuteCase{"FourCenturiesLeap", {2000, 3, 1, 0, 0, 0, 0}, -1, {2000, 2, 29, 23, 59, 0, 0}},
                    TMinuteCase{"ForwardAcrossYear", {2023, 12, 31, 23, 59, 0, 0}, 1, {2024, 1, 1, 0, 0, 0, 0}},
                    TMinuteCase{
                        "ManyDaysBack", {2024, 3, 1, 12, 0, 0, 0}, -(60 * 24 * 366), {2023, 3, 1, 12, 0, 0, 0}}),
    [](const testing::TestParamInfo<TMinuteCase>& info) { return std::string(info.param.Name); });

TEST(DateUtils, DaysInMonthFollowsGregorianLeapRule)
{
    EXPECT_EQ(DaysInMonth(2024, 2), 29);
    EXPECT_EQ(DaysInMonth(2100, 2), 28);
    EXPECT_EQ(DaysInMonth(2000, 2), 29);
    EXPECT_EQ(DaysInMonth(2023, 4), 30);
    EXPECT_EQ(DaysInMonth(2023, 12), 31);
    EXPECT_EQ(DaysInMonth(2023, 13), 0);
}

}  // namespace
