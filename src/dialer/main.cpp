// The dialer: decrypts the parameter block of its only argument, dials the phonebook entry it
// names and ends with the dial's result, or 9999 when no dial result was reached. It shows and
// prints nothing; failures go to the error log.

// The fuzz build's weakened key derivation never reaches a program (cmake/FuzzBuildMode.cmake).
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
#error "FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION weakens the key derivation: no program is built with it"
#endif
#include <cstdint>
#include <string>

#include "CorvaneUtil/CorvaneUtil.h"
#include "CorvaneUtil/ExitStatus.h"
#include "core/Exceptions.h"
#include "core/Text.h"
#include "dialer/DialerEntry.h"
#include "platform/FaultReport.h"
#include "platform/Process.h"
#include "platform/ProgramSignals.h"

namespace {

// A hardware fault in the RAS library that nothing handled: logged like the system's other
// external exceptions, "外部例外 " and the exception code in upper-case hexadecimal.
void LogFault(std::uint32_t exceptionCode) noexcept
{
    std::u16string message = u"外部例外 ";
    for (int shift = 28; shift >= 0; shift -= 4)
        message.push_back(u"0123456789ABCDEF"[(exceptionCode >> shift) & 0xF]);
    TCorvaneUtil::WriteErrorLog(message, true);
}

std::uint32_t RunDialer() noexcept
{
    std::uint32_t exitStatus = NoDialResult;
    try {
        // The parameter list and the block live inside the call, so they are gone before a
        // handler runs.
        exitStatus = DialCommandLineBlock();
    } catch (const Exception& e) {
        TCorvaneUtil::WriteErrorLog(e.Message(), true);
    } catch (const std::exception& e) {
        // The standard library's failures (out of memory among them) are general errors here too.
        TCorvaneUtil::WriteErrorLog(FromUtf8Lossy(e.what()), true);
    }
    return exitStatus;
}

}  // namespace

#ifdef _WIN32

// A GUI-subsystem program, so no console window opens. Declared without the Windows headers: the
// handles are not used, and the signature is the one the C runtime calls.
extern "C" int __stdcall wWinMain(void* /*instance*/, void* /*previousInstance*/, wchar_t* /*commandLine*/,
                                  int /*showCommand*/)
{
    ReportUnhandledFaults(&LogFault, NoDialResult);
    return static_cast<int>(RunDialer());
}

#else

int main(int argc, char** argv)
{
    SetCommandLine(argc, argv);
    ReportUnhandledFaults(&LogFault, NoDialResult);
    // A log record that does not fit under a file-size limit is cut back, and the dial result
    // still arrives.
    IgnoreFileSizeLimitSignal();
    // Nothing it started outlives a starter that went without ending it.
    EndGroupWhenStarterGoes();
    // A POSIX parent sees only 8 bits: the result arrives through the documented mapping.
    return PosixExitStatus(RunDialer());
}

#endif
