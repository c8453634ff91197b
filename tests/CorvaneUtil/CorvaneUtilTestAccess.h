#pragma once
// The private operations of TCorvaneUtil, opened to the tests through its friend declaration.

#include <string>

#include "CorvaneUtil.h"

struct TCorvaneUtilTestAccess {
    static std::u16string GetMinuteKey(const TLocalDateTime& moment) { return TCorvaneUtil::GetMinuteKey(moment); }
    static void RotateLogFile(const std::u16string& logFileName, const std::u16string& oldLogFileName)
    {
        TCorvaneUtil::RotateLogFile(logFileName, oldLogFileName);
    }
    static std::u16string BuildLogRecord(const std::u16string& body, const TLocalDateTime& moment,
                                         const TDateTimeSeparators& separators)
    {
        return TCorvaneUtil::BuildLogRecord(body, moment, separators);
    }
};
