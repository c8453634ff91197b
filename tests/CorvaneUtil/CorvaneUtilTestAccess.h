#pragma once
// The private operations of TCorvaneUtil, opened to the tests through its friend declaration.

#include <functional>
#include <string>

#include "CorvaneUtil/CorvaneUtil.h"

struct TCorvaneUtilTestAccess {
    using TLogAppend = TCorvaneUtil::TLogAppend;
    static constexpr int LogAttempts = TCorvaneUtil::LogAttempts;

    static TLogAppend AppendLogRecord(const std::u16string& logFileName, const std::u16string& oldLogFileName,
                                      const TSecureBytes& record, const std::function<void(int)>& pause)
    {
        return TCorvaneUtil::AppendLogRecord(logFileName, oldLogFileName, record, pause);
    }
    static TLogAppend WriteErrorLogRecord(const std::u16string& errMsg, bool isEncryptMsg,
                                          const std::function<void(int)>& pause)
    {
        return TCorvaneUtil::WriteErrorLogRecord(errMsg, isEncryptMsg, pause);
    }
    static TSecureText GetMinuteKey(const TLocalDateTime& moment) { return TCorvaneUtil::GetMinuteKey(moment); }
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
