#include "launch/Minute.h"

namespace {

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

}  // namespace

bool IsValidMinute(const TLocalDateTime& moment)
{
    return moment.Year >= 1 && moment.Year <= 9999 && moment.Month >= 1 && moment.Month <= 12 && moment.Day >= 1 &&
           moment.Day <= DaysInMonth(moment.Year, moment.Month) && moment.Hour >= 0 && moment.Hour <= 23 &&
           moment.Minute >= 0 && moment.Minute <= 59;
}
