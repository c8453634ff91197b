#include "platform/FaultReport.h"

#include <windows.h>

namespace {

TFaultReport FaultReport = nullptr;
UINT FaultExitStatus = 0;

// Runs on the faulting thread once the system has found no handler for the exception. The
// process state may be damaged, so this is safe enough only because of what surrounds it: the
// programs that use it are single-threaded, so no other thread holds a lock the report needs;
// the report uses only the heap, the cryptography provider and plain file calls; and the
// process ends right after, with no unloading of libraries and no destructors. At worst the
// report itself faults, and the error mode keeps that silent too.
LONG WINAPI ReportAndEnd(EXCEPTION_POINTERS* pointers)
{
    static LONG entered = 0;
    // A second fault, inside the report itself, ends the process without another attempt.
    if (InterlockedExchange(&entered, 1) == 0 && FaultReport != nullptr && pointers != nullptr &&
        pointers->ExceptionRecord != nullptr)
        FaultReport(static_cast<std::uint32_t>(pointers->ExceptionRecord->ExceptionCode));
    TerminateProcess(GetCurrentProcess(), FaultExitStatus);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void ReportUnhandledFaults(TFaultReport onFault, std::uint32_t exitStatus)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    FaultReport = onFault;
    FaultExitStatus = exitStatus;
    SetUnhandledExceptionFilter(&ReportAndEnd);
}
