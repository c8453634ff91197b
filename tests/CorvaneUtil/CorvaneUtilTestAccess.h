#pragma once
// The private operations of TCorvaneUtil, opened to the tests through its friend declaration.

#include <functional>
#include <string>

#include "CorvaneUtil/CorvaneUtil.h"

struct TCorvaneUtilTestAccess {
    using TLogAppend = TCorvaneUtil::TLogAppend;
    using TLogStep = TCorvaneUtil::TLogStep;
    using TLogStepHook = TCorvaneUtil::TLogStepHook;
    using TLogWait = TCorvaneUtil::TLogWait;
    using TLogWaitClock = TCorvaneUtil::TLogWaitClock;
    // The tests' own wait for a held log: pause(n) after each of the first LogAttempts - 1
    // attempts, then no more.
    static constexpr int LogAttempts = 9;
    static TLogWait CountedWait(const std::function<void(int)>& pause)
    {
        return [pause](int attempt) {
            if (attempt >= LogAttempts)
                return false;
            pause(attempt);
            return true;
        };
    }

    static TLogAppend AppendLogRecord(
        const std::u16string& logFileName, const std::u16string& oldLogFileName, const TSecureBytes& record,
        const std::function<void(int)>& pause, const TLogStepHook& step = [](TLogStep) {})
    {
        return TCorvaneUtil::AppendLogRecord(logFileName, oldLogFileName, record, CountedWait(pause), step);
    }
    static TLogAppend AppendLogRecordWaiting(const std::u16string& logFileName, const std::u16string& oldLogFileName,
                                             const TSecureBytes& record, const TLogWait& wait, const TLogStepHook& step)
    {
        return TCorvaneUtil::AppendLogRecord(logFileName, oldLogFileName, record, wait, step);
    }
    static TLogAppend WriteErrorLogRecord(
        const std::u16string& errMsg, bool isEncryptMsg, const TLogWait& wait,
        const TLogStepHook& step = [](TLogStep) {})
    {
        return TCorvaneUtil::WriteErrorLogRecord(errMsg, isEncryptMsg, wait, step);
    }
    static TLogWait HeldLogWait(const TLogWaitClock& clock) { return TCorvaneUtil::HeldLogWait(clock); }
    static constexpr std::chrono::milliseconds MaxHeldLogPause = TCorvaneUtil::MaxHeldLogPause;
    static constexpr std::chrono::milliseconds HeldLogDeadline = TCorvaneUtil::HeldLogDeadline;
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
