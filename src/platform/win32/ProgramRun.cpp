#include "platform/ProgramRun.h"

#include <windows.h>

#include "core/Exceptions.h"
#include "core/Text.h"
#include "platform/UniqueHandle.h"

const std::u16string_view ProgramExtension = u".exe";

namespace {

// A process or thread handle: null when there is none (-1 is the current process itself).
using TUniqueKernelHandle = TUniqueAny<HANDLE, &CloseHandle, nullptr>;

std::wstring Wide(const std::u16string& text)
{
    return std::wstring(text.begin(), text.end());
}

// One argument as CommandLineToArgvW and the C runtime read it back.
std::wstring QuoteArgument(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(backslashes * 2, L'\\');
    out.push_back(L'"');
    return out;
}

// Errors that say the program cannot be started at all; any other refusal is tried again, since a
// start that failed ran nothing.
bool IsLasting(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_ACCESS_DENIED ||
           error == ERROR_BAD_EXE_FORMAT || error == ERROR_INVALID_NAME || error == ERROR_DIRECTORY;
}

}  // namespace

TProgramEnd RunProgram(const std::u16string& program, const std::vector<std::u16string>& args,
                       std::uint32_t timeoutSeconds)
{
    const std::wstring path = Wide(program);
    std::wstring commandLine = QuoteArgument(path);
    for (const std::u16string& arg : args)
        commandLine += L" " + QuoteArgument(Wide(arg));

    // No handle is inherited: the program gets no standard input and its output, if any, is lost.
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    DWORD error = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                           nullptr, &startup, &process)) {
            error = 0;
            break;
        }
        error = GetLastError();
        if (IsLasting(error))
            break;
        Sleep(200);
    }
    if (error != 0)
        throw EOSError(u"cannot start " + program + u": CreateProcessW error " + IntToStr(error), error);
    const TUniqueKernelHandle thread(process.hThread);
    const TUniqueKernelHandle child(process.hProcess);

    const DWORD timeout = timeoutSeconds >= INFINITE / 1000 ? INFINITE - 1 : timeoutSeconds * 1000;
    if (WaitForSingleObject(child.Get(), timeout) == WAIT_TIMEOUT) {
        TerminateProcess(child.Get(), 1);
        WaitForSingleObject(child.Get(), INFINITE);
        return {TProgramEnd::TKind::TimedOut, 0};
    }
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(child.Get(), &exitCode)) {
        const DWORD failure = GetLastError();
        throw EOSError(u"GetExitCodeProcess: " + IntToStr(failure), failure);
    }
    return {TProgramEnd::TKind::Exited, exitCode};
}
