#pragma once
#include <cstdint>

// What a program does about a hardware fault (an access violation, an illegal instruction) that
// no code of its own handles.
//
// Windows: from the call on, neither a crash box nor a critical-error box appears, and a
// structured exception that nothing handles runs onFault with the exception's code; the process
// then ends at once with exitStatus.
// POSIX: nothing changes. A fatal signal ends the process as a signal death, since nothing can
// safely be logged from a signal handler.
// Never raises; onFault must not raise either (it is noexcept).
using TFaultReport = void (*)(std::uint32_t exceptionCode) noexcept;
void ReportUnhandledFaults(TFaultReport onFault, std::uint32_t exitStatus);
