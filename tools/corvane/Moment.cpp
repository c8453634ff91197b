#include "tools/corvane/Moment.h"

#include <cstdio>

#include "launch/Minute.h"

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
    if (fields != 5 || text.size() != 16 || !IsValidMinute(moment))
        throw EUsageError{"--at wants a local moment as \"YYYY-MM-DD HH:MM\", got \"" + text + "\""};
    return moment;
}
