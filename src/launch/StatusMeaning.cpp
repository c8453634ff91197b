#include "launch/StatusMeaning.h"

#include "CorvaneUtil/ExitStatus.h"
#include "core/Text.h"
#include "launch/RasErrorTable.h"
#include "platform/RasErrorText.h"

TStatusMeaning DialResultMeaning(std::uint32_t result)
{
    if (const auto own = DialerStatusMeaning(result))
        return {FromUtf8Lossy(*own), "dialer"};
    if (auto system = SystemRasErrorText(result))
        return {std::move(*system), "system"};
    if (const auto table = RasErrorMeaning(result))
        return {FromUtf8Lossy(*table), "table"};
    return {u"unknown: neither a status of the dialer nor a Remote Access Service error code this tool knows",
            "unknown"};
}

TPosixStatusMeaning PosixStatusMeaning(int status)
{
    if (const auto result = DialResultOfPosixExitStatus(status))
        return {result, DialResultMeaning(*result)};
    if (status == PosixOtherFailure)
        return {std::nullopt,
                {u"the dial failed with a code that a POSIX exit status cannot carry, so it cannot be read back; "
                 u"the RAS layer's own output or a run on Windows tells it",
                 "dialer"}};
    return {std::nullopt,
            {u"unknown: the POSIX dialer never ends with this status (a shell's own value, or a death by a signal)",
             "unknown"}};
}
