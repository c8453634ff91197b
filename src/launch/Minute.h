#pragma once
// The local minute a block is made or read under, as a caller gives it.

#include "platform/Clock.h"

// True when the fields name a minute of the Gregorian calendar: year 1 to 9999, a month's real
// day, hour 0 to 23, minute 0 to 59. Seconds and milliseconds do not enter a minute key and are
// not looked at.
bool IsValidMinute(const TLocalDateTime& moment);
