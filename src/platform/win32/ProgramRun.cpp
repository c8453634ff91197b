#include "platform/ProgramRun.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "core/Exceptions.h"
#include "core/ScopeExit.h"
#include "core/SecureZero.h"
#include "core/Text.h"
#include "core/UniqueHandle.h"
#include "platform/win32/CommandLine.h"

const std::u16string_view ProgramExtension = u".exe";

namespace {

// A process, thread or job handle: null when there is none (-1 is the current process itself).
using TUniqueKernelHandle = TUniqueAny<HANDLE, &CloseHandle, nullptr>;
// A handle from CreateFileW, which fails with INVALID_HANDLE_VALUE (-1), not null.
using TUniqueFileHandle = TUniqueAny<HANDLE, &CloseHandle, -1>;

std::wstring Wide(const std::u16string& text)
{
    return std::wstring(text.begin(), text.end());
}

// Errors that say the program cannot be started at all; any other refusal is tried again, since a
// start that failed ran nothing.
bool IsLasting(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_ACCESS_DENIED ||
           error == ERROR_BAD_EXE_FORMAT || error == ERROR_INVALID_NAME || error == ERROR_DIRECTORY;
}

[[noreturn]] void RaiseLastError(const std::u16string& what)
{
    const DWORD error = GetLastError();
    throw EOSError(what + u" error " + IntToStr(error), error);
}

// A job that ends every process in it when its last handle closes, and that no process in it may
// leave.
TUniqueKernelHandle KillingJob(const std::u16string& program)
{
    TUniqueKernelHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job)
        RaiseLastError(u"cannot start " + program + u": CreateJobObjectW");
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits))
        RaiseLastError(u"cannot start " + program + u": SetInformationJobObject");
    return job;
}

// The handles the program inherits, and only those: the null device as its standard input, and
// the caller's standard error as its standard output and error.
struct TStandardHandles {
    TUniqueFileHandle Input;
    TUniqueKernelHandle Error;  // null when the caller has no standard error
};

TStandardHandles InheritableStandardHandles(const std::u16string& program)
{
    TStandardHandles handles;
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    handles.Input.Reset(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handles.Input)
        RaiseLastError(u"cannot start " + program + u": CreateFileW NUL");
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    HANDLE copy = nullptr;
    if (error != nullptr && error != INVALID_HANDLE_VALUE &&
        DuplicateHandle(GetCurrentProcess(), error, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
        handles.Error.Reset(copy);
    return handles;
}

// An attribute list that limits inheritance to the given handles.
class THandleList {
public:
    explicit THandleList(std::vector<HANDLE> handles) : FHandles(std::move(handles))
    {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        FBuffer.resize(size);
        FList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(FBuffer.data());
        if (!InitializeProcThreadAttributeList(FList, 1, 0, &size)) {
            FList = nullptr;
            return;
        }
        if (!UpdateProcThreadAttribute(FList, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, FHandles.data(),
                                       FHandles.size() * sizeof(HANDLE), nullptr, nullptr)) {
            DeleteProcThreadAttributeList(FList);
            FList = nullptr;
        }
    }
    ~THandleList()
    {
        if (FList != nullptr)
            DeleteProcThreadAttributeList(FList);
    }
    THandleList(const THandleList&) = delete;
    THandleList& operator=(const THandleList&) = delete;

    // Null when the system has no such list: the handles are then inherited with any other
    // inheritable handle of the caller.
    LPPROC_THREAD_ATTRIBUTE_LIST Get() const noexcept { return FList; }

private:
    std::vector<HANDLE> FHandles;
    std::vector<unsigned char> FBuffer;
    LPPROC_THREAD_ATTRIBUTE_LIST FList = nullptr;
};

// Ends the job with everything in it, and waits for the program itself.
void EndJob(HANDLE job, HANDLE child)
{
    TerminateJobObject(job, 1);
    WaitForSingleObject(child, 10'000);
}

}  // namespace

TProgramEnd RunProgram(const std::u16string& program, const std::vector<std::u16string>& args,
                       const TRunOptions& options)
{
    const std::function<bool()>& stopNow = options.StopNow;
    const std::wstring path = Wide(program);
    // The arguments may carry a parameter block: every buffer that held one goes wiped, and the
    // command line is sized up front so that it never leaves a part behind while it grows.
    std::vector<std::wstring> pieces;  // the path quoted, then each argument wide and quoted
    std::wstring commandLine;
    const TScopeExit wipeArguments([&] {
        for (std::wstring& piece : pieces)
            WipeString(piece);
        WipeString(commandLine);
    });
    pieces.reserve(1 + 2 * args.size());
    pieces.push_back(QuoteArgument(path));
    std::size_t length = pieces.back().size();
    for (const std::u16string& arg : args) {
        pieces.push_back(Wide(arg));
        pieces.push_back(QuoteArgument(pieces.back()));
        length += 1 + pieces.back().size();
    }
    commandLine.reserve(length);
    commandLine += pieces.front();
    for (std::size_t i = 2; i < pieces.size(); i += 2)
        commandLine.append(L" ").append(pieces[i]);

    const TUniqueKernelHandle job = KillingJob(program);
    const TStandardHandles standard = InheritableStandardHandles(program);
    std::vector<HANDLE> inherited{standard.Input.Get()};
    if (standard.Error)
        inherited.push_back(standard.Error.Get());
    const THandleList handleList(inherited);

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = standard.Input.Get();
    startup.StartupInfo.hStdOutput = standard.Error.Get();
    startup.StartupInfo.hStdError = standard.Error.Get();
    startup.lpAttributeList = handleList.Get();
    DWORD flags = CREATE_NO_WINDOW | CREATE_SUSPENDED | (handleList.Get() ? EXTENDED_STARTUPINFO_PRESENT : 0);

    // Suspended until it is in the job, so that nothing it starts runs outside the job. Where the
    // caller is itself in a job that cannot hold another (Windows 7), the program leaves the
    // caller's job if that job allows it.
    TUniqueKernelHandle thread;
    TUniqueKernelHandle child;
    for (int start = 0; start < 2 && !child; ++start) {
        PROCESS_INFORMATION process{};
        DWORD error = 0;
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                               &startup.StartupInfo, &process)) {
                error = 0;
                break;
            }
            error = GetLastError();
            if (IsLasting(error))
                break;
            // Windows 7 refuses console handles in a handle list: inherit without the list then.
            if (error == ERROR_INVALID_PARAMETER && (flags & EXTENDED_STARTUPINFO_PRESENT) != 0) {
                flags &= ~static_cast<DWORD>(EXTENDED_STARTUPINFO_PRESENT);
                startup.StartupInfo.cb = sizeof startup.StartupInfo;
                continue;
            }
            Sleep(200);
        }
        if (error != 0)
            throw EOSError(u"cannot start " + program + u": CreateProcessW error " + IntToStr(error), error);
        TUniqueKernelHandle startedThread(process.hThread);
        TUniqueKernelHandle started(process.hProcess);
        if (AssignProcessToJobObject(job.Get(), started.Get())) {
            thread = std::move(startedThread);
            child = std::move(started);
            break;
        }
        const DWORD refused = GetLastError();
        TerminateProcess(started.Get(), 1);
        WaitForSingleObject(started.Get(), INFINITE);
        if (start == 1 || (flags & CREATE_BREAKAWAY_FROM_JOB) != 0)
            throw EOSError(u"cannot start " + program + u": AssignProcessToJobObject error " + IntToStr(refused),
                           refused);
        flags |= CREATE_BREAKAWAY_FROM_JOB;
    }
    if (ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
        const DWORD error = GetLastError();
        EndJob(job.Get(), child.Get());
        throw EOSError(u"cannot start " + program + u": ResumeThread error " + IntToStr(error), error);
    }

    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(options.Timeout.count());
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const ULONGLONG left = now >= deadline ? 0 : deadline - now;
        const DWORD slice = static_cast<DWORD>(std::min<ULONGLONG>(left, stopNow ? 50 : INFINITE - 1));
        const DWORD waited = WaitForSingleObject(child.Get(), slice);
        if (waited == WAIT_OBJECT_0)
            break;
        if (waited != WAIT_TIMEOUT) {
            // The program still runs as far as anyone knows: its exit code would read STILL_ACTIVE.
            const DWORD error = waited == WAIT_FAILED ? GetLastError() : waited;
            EndJob(job.Get(), child.Get());
            throw EOSError(u"lost the program " + program + u": WaitForSingleObject error " + IntToStr(error) +
                               u"; it was stopped",
                           error);
        }
        if (left <= slice || (stopNow && stopNow())) {
            EndJob(job.Get(), child.Get());
            return {TProgramEnd::TKind::TimedOut, 0};
        }
    }
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(child.Get(), &exitCode))
        RaiseLastError(u"GetExitCodeProcess");
    return {TProgramEnd::TKind::Exited, exitCode};
}
