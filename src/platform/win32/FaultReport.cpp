#include "platform/FaultReport.h"

#include <windows.h>

namespace {

TFaultReport FaultReport = nullptr;
UINT FaultExitStatus = 0;

// Set by the filter the moment a fault reaches it; the watchdog waits for nothing else.
HANDLE FaultSignal = nullptr;

// Runs on the faulting thread once the system has found no handler for the exception. The
// process state may be damaged, and the report builds its message, encrypts it and writes the log
// through the heap: when another thread (one the RAS library or the system started) holds a heap
// lock at that moment, the report blocks for good. So the watchdog is told first, and ends the
// process with the same status after a bounded wait whatever the report does. At worst the report
// itself faults, and the error mode keeps that silent too.
LONG WINAPI ReportAndEnd(EXCEPTION_POINTERS* pointers)
{
    static LONG entered = 0;
    if (FaultSignal != nullptr)
        SetEvent(FaultSignal);
    // A second fault, inside the report itself, ends the process without another attempt.
    if (InterlockedExchange(&entered, 1) == 0 && FaultReport != nullptr && pointers != nullptr &&
        pointers->ExceptionRecord != nullptr)
        FaultReport(static_cast<std::uint32_t>(pointers->ExceptionRecord->ExceptionCode));
    TerminateProcess(GetCurrentProcess(), FaultExitStatus);
    return EXCEPTION_EXECUTE_HANDLER;
}

// Once woken it touches only kernel objects: no heap, no C runtime, no lock the faulting thread or
// any other could hold.
DWORD WINAPI EndAfterBoundedReport(void* /*unused*/)
{
    WaitForSingleObject(FaultSignal, INFINITE);
    Sleep(FaultReportBoundMilliseconds);
    TerminateProcess(GetCurrentProcess(), FaultExitStatus);
    return 0;
}

// The watchdog lives as long as the process; its handle is not needed.
void StartWatchdog()
{
    FaultSignal = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (FaultSignal == nullptr)
        return;
    const HANDLE thread =
        CreateThread(nullptr, 64 * 1024, &EndAfterBoundedReport, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) {
        // Without a watchdog the report still runs and ends the process, only unguarded.
        CloseHandle(FaultSignal);
        FaultSignal = nullptr;
        return;
    }
    CloseHandle(thread);
}

}  // namespace

void ReportUnhandledFaults(TFaultReport onFault, std::uint32_t exitStatus)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    FaultReport = onFault;
    FaultExitStatus = exitStatus;
    if (FaultSignal == nullptr)
        StartWatchdog();
    SetUnhandledExceptionFilter(&ReportAndEnd);
}
