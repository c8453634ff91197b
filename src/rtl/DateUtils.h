#pragma once
// Civil (proleptic Gregorian) date arithmetic on local date and time values. No time zone
// enters: a moment is moved on the calendar and the clock face, as a person would count.
// None of it fails.

#include <cstdint>

#include "platform/Clock.h"

bool IsLeapYear(int year) noexcept;
// 28 to 31; 0 for a month outside 1 to 12.
int DaysInMonth(int year, int month) noexcept;

// The moment moved by the given number of minutes, carrying into hours, days, months and years
// (one minute before 00:00 on 1 January is 23:59 on 31 December of the year before). Seconds
// and milliseconds stay as they are.
TLocalDateTime IncMinute(const TLocalDateTime& moment, std::int64_t minutes) noexcept;
