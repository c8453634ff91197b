#include "platform/Clock.h"

#include <windows.h>

namespace {

// The time stamp carries one character per separator: the first the user's settings give,
// or none when they give none.
std::u16string LocaleSeparator(LCTYPE type)
{
    wchar_t buffer[8] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, 8) == 0 || buffer[0] == L'\0')
        return {};
    return std::u16string(1, static_cast<char16_t>(buffer[0]));
}

}  // namespace

const TDateTimeSeparators& UserDateTimeSeparators()
{
    static const TDateTimeSeparators separators{LocaleSeparator(LOCALE_SDATE), LocaleSeparator(LOCALE_STIME)};
    return separators;
}

TLocalDateTime LocalNow()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}
