#pragma once
#include <cstdint>

// What a program does about a hardware fault (an access violation, an illegal instruction) that
// no code of its own handles.
//
// Windows: from the call on, neither a crash box nor a critical-error box appears, and a
// structured exception that nothing handles runs onFault with the exception's code; the process
// then ends with exitStatus. It ends with exitStatus within FaultReportBoundMilliseconds of the
// fault even when onFault never returns (a heap lock held by another thread at the moment of the
// fault blocks every allocation): a watchdog thread, started by the call and waiting on a kernel
// event until the fault, ends the process then. What never reaches the filter ends the process
// with its own code and no report: a fail-fast (a detected stack-buffer overrun or heap
// corruption, 0xC0000409 and 0xC0000374), a stack overflow whose filter finds no stack left to run
// on (0xC00000FD), and the C runtime's abort (3).
// POSIX: nothing changes. A fatal signal ends the process as a signal death, since nothing can
// safely be logged from a signal handler.
// Never raises; onFault must not raise either (it is noexcept).
using TFaultReport = void (*)(std::uint32_t exceptionCode) noexcept;
void ReportUnhandledFaults(TFaultReport onFault, std::uint32_t exitStatus);

// How long the report of a fault may take before the process is ended without it. Writing the
// log takes a few milliseconds to a few hundred under load; the rest is margin.
inline constexpr unsigned FaultReportBoundMilliseconds = 5000;
