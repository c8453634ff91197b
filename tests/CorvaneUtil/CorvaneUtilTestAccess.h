#pragma once
// The private operations of TCorvaneUtil, opened to the tests through its friend declaration.

#include <functional>
#include <string>

#include "CorvaneUtil/CorvaneUtil.h"

struct TCorvaneUtilTestAccess {
    using TLogAppend = TCorvaneUtil::TLogAppend;
    using TLogStep = TCorvaneUtil::TLogStep;
    using TLogStepHook = TCorvaneUtil::TLogStepHook;
    static constexpr int LogAttempts = TCorvaneUtil::LogAttempts;

    static TLogAppend AppendLogRecord(
        const std::u16string& logFileName, const std::u16string& oldLogFileName, const TSecureBytes& record,
        const std::function<void(int)>& pause, const TLogStepHook& step = [](TLogStep) {})
    {
        return TCorvaneUtil::AppendLogRecord(logFileName, oldLogFileName, record, pause, step);
    }
    static TLogAppend WriteErrorLogRecord(
        const std::u16string& errMsg, bool isEncryptMsg, const std::function<void(int)>& pause,
        const TLogStepHook& step = [](TLogStep) {})
    {
        return TCorvaneUtil::WriteErrorLogRecord(errMsg, isEncryptMsg, pause, step);
    }
    static TSecureText GetMinuteKey(const TLocalDateTime& moment) { return TCorvaneUtil::GetMinuteKey(moment); }
    static void RotateLogFile(const std::u16string& logFileName, const std::u16string& oldLogFileName)
    {
        TCorvaneUtil::RotateLogFile(logFileName, oldLogFileName, [](TLogStep) {});
    }
    static std::u16string BuildLogRecord(const std::u16string& body, const TLocalDateTime& moment,
                                         const TDateTimeSeparators& separators)
    {
        return TCorvaneUtil::BuildLogRecord(body, moment, separators);
    }
};
