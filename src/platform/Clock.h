#pragma once
#include <string>

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

// The local clock.
TLocalDateTime LocalNow();

// The user's date and time separators, read once when first asked for. Either may be empty.
struct TDateTimeSeparators {
    std::u16string Date;
    std::u16string Time;
};
const TDateTimeSeparators& UserDateTimeSeparators();
