#pragma once
#include <string>
#include <string_view>

// A local civil date and time (Gregorian).
struct TLocalDateTime {
    int Year = 0;
    int Month = 0;   // 1 to 12
    int Day = 0;     // 1 to 31
    int Hour = 0;    // 0 to 23
    int Minute = 0;  // 0 to 59
    int Second = 0;  // 0 to 59
    int Millisecond = 0;

    bool operator==(const TLocalDateTime&) const = default;
};

// The local clock. Never fails.
TLocalDateTime LocalNow();

// The user's date and time separators, read once when first asked for. Either may be empty
// (Windows: a setting that cannot be read; POSIX: a locale that cannot be loaded gives "/" and
// ":"). Never raises but std::bad_alloc.
struct TDateTimeSeparators {
    std::u16string Date;
    std::u16string Time;
};
const TDateTimeSeparators& UserDateTimeSeparators();

#ifndef _WIN32
// The separators of a named locale's date and time formats ("" names the locale the
// environment selects: LC_ALL, LC_TIME, LANG). A locale that cannot be loaded gives "/" and ":".
TDateTimeSeparators LocaleDateTimeSeparators(const char* localeName);

// The separator that a strftime-style format puts between its first two fields, when that is
// one ASCII punctuation or space character; otherwise fallback.
std::u16string FormatFieldSeparator(std::string_view format, std::u16string_view fallback);
#endif
