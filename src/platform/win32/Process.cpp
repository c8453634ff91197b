#include "platform/Process.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <vector>

#include "core/Bytes.h"
#include "core/Exceptions.h"
#include "core/Text.h"
#include "platform/UniqueHandle.h"

#ifdef GetEnvironmentVariable
#undef GetEnvironmentVariable
#endif

namespace {

using TUniqueArgv = TUniqueAny<LPWSTR*, &LocalFree, nullptr>;

std::u16string FromWide(const wchar_t* text, std::size_t length)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

}  // namespace

void SetCommandLine(int, char**)
{
    // Windows hands the whole command line to every reader; nothing to keep.
}

std::u16string ParamStr(int index)
{
    if (index == 0)
        return ExecutablePath();
    int count = 0;
    TUniqueArgv argv(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!argv || index < 0 || index >= count)
        return {};
    const wchar_t* argument = argv.Get()[index];
    return FromWide(argument, std::wcslen(argument));
}

std::u16string ExecutablePath()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            const DWORD error = GetLastError();
            throw EOSError(u"GetModuleFileNameW: " + IntToStr(error), error);
        }
        if (n < buffer.size())
            return FromWide(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<std::u16string> GetEnvironmentVariable(std::u16string_view name)
{
    const std::wstring wideName(name.begin(), name.end());
    SetLastError(ERROR_SUCCESS);
    DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (size == 0) {
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND)
            return std::nullopt;
        return std::u16string();
    }
    for (;;) {
        // The value may be a key (the tool reads one from a variable): the buffer wipes itself.
        std::vector<wchar_t, TWipingAllocator<wchar_t>> buffer(size);
        SetLastError(ERROR_SUCCESS);
        const DWORD n = GetEnvironmentVariableW(wideName.c_str(), buffer.data(), size);
        if (n == 0)
            return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt : std::optional<std::u16string>(u"");
        if (n < size)
            return FromWide(buffer.data(), n);
        size = n;  // grew in between: n is the size now needed
    }
}
