#include "Moment.h"

#include <cstdio>

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

std::optional<TLocalDateTime> TakeMoment(TCommandArgs& args)
{
    const auto at = args.TakeValue("--at");
    if (!at)
        return std::nullopt;

    const std::string text = Utf8(*at);
    TLocalDateTime moment;
    char tail = 0;
    const int fields = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d%c", &moment.Year, &moment.Month, &moment.Day,
                                   &moment.Hour, &moment.Minute, &tail);
    const bool valid = fields == 5 && text.size() == 16 && moment.Year >= 1 && moment.Month >= 1 &&
                       moment.Month <= 12 && moment.Day >= 1 && moment.Day <= DaysInMonth(moment.Year, moment.Month) &&
                       moment.Hour >= 0 && moment.Hour <= 23 && moment.Minute >= 0 && moment.Minute <= 59;
    if (!valid)
        throw EUsageError{"--at wants a local moment as \"YYYY-MM-DD HH:MM\", got \"" + text + "\""};
    return moment;
}
