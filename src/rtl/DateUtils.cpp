#include "rtl/DateUtils.h"

namespace {

// Days since 1970-01-01 of a civil date, valid for every year an int holds. Counting in eras
// of 400 years keeps the leap-year rule exact without tables.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) noexcept
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(std::int64_t days, int& year, int& month, int& day) noexcept
{
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

std::int64_t FloorDiv(std::int64_t value, std::int64_t divisor) noexcept
{
    const std::int64_t quotient = value / divisor;
    return (value % divisor != 0 && (value < 0) != (divisor < 0)) ? quotient - 1 : quotient;
}

}  // namespace

bool IsLeapYear(int year) noexcept
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) noexcept
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

TLocalDateTime IncMinute(const TLocalDateTime& moment, std::int64_t minutes) noexcept
{
    constexpr std::int64_t minutesPerDay = 24 * 60;
    const std::int64_t total = DaysFromCivil(moment.Year, moment.Month, moment.Day) * minutesPerDay + moment.Hour * 60 +
                               moment.Minute + minutes;
    const std::int64_t days = FloorDiv(total, minutesPerDay);
    const std::int64_t minuteOfDay = total - days * minutesPerDay;

    TLocalDateTime result = moment;
    CivilFromDays(days, result.Year, result.Month, result.Day);
    result.Hour = static_cast<int>(minuteOfDay / 60);
    result.Minute = static_cast<int>(minuteOfDay % 60);
    return result;
}
