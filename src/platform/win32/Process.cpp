#include "platform/Process.h"

#include <windows.h>
#include <shellapi.h>
#include <winternl.h>

#include <corecrt_startup.h>
#include <cstdlib>
#include <cwchar>
#include <vector>

#include "core/Exceptions.h"
#include "core/SecureMemory.h"
#include "core/SecureZero.h"
#include "core/Text.h"
#include "core/UniqueHandle.h"

#ifdef GetEnvironmentVariable
#undef GetEnvironmentVariable
#endif

namespace {

// The split command line holds the arguments themselves: wiped before the system takes it back.
void WipeAndFree(LPWSTR* argv) noexcept
{
    SecureZero(argv, LocalSize(argv));
    LocalFree(argv);
}

using TUniqueArgv = TUniqueAny<LPWSTR*, &WipeAndFree, nullptr>;

// Where argument 0 ends in a raw command line, as CommandLineToArgvW and the C runtime read it: a
// quoted program name up to its closing quote, otherwise up to the first blank.
template <typename TChar>
std::size_t ProgramNameEnd(const TChar* text, std::size_t length) noexcept
{
    std::size_t i = 0;
    if (length > 0 && text[0] == TChar('"')) {
        for (i = 1; i < length && text[i] != TChar('"'); ++i) {
        }
        return i < length ? i + 1 : length;
    }
    while (i < length && text[i] != TChar(' ') && text[i] != TChar('\t'))
        ++i;
    return i;
}

// Every character after argument 0 but the blanks between arguments becomes the placeholder.
template <typename TChar>
void OverwriteAfterProgramName(TChar* text, std::size_t length) noexcept
{
    if (text == nullptr)
        return;
    for (std::size_t i = ProgramNameEnd(text, length); i < length; ++i)
        if (text[i] != TChar(' ') && text[i] != TChar('\t'))
            text[i] = static_cast<TChar>(ArgumentPlaceholder);
}

template <typename TChar>
std::size_t Length(const TChar* text) noexcept
{
    std::size_t n = 0;
    while (text != nullptr && text[n] != 0)
        ++n;
    return n;
}

template <typename TChar>
void OverwriteArgumentVector(TChar** argv, int count) noexcept
{
    for (int i = 1; argv != nullptr && i < count && argv[i] != nullptr; ++i)
        for (TChar* c = argv[i]; *c != 0; ++c)
            *c = static_cast<TChar>(ArgumentPlaceholder);
}

std::u16string FromWide(const wchar_t* text, std::size_t length)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

// The process environment block, whose address the thread block keeps at gs:0x60 on x64 and at
// fs:0x30 on x86 (the 32-bit launching library). (The header's NtCurrentTeb reads the same segment
// through an intrinsic that g++ 12 warns about.)
PEB* CurrentPeb() noexcept
{
    PEB* peb = nullptr;
#ifdef _WIN64
    asm("movq %%gs:0x60, %0" : "=r"(peb));
#else
    asm("movl %%fs:0x30, %0" : "=r"(peb));
#endif
    return peb;
}

}  // namespace

void SetCommandLine(int, char**)
{
    // Windows hands the whole command line to every reader; nothing to keep.
}

void OverwriteArguments() noexcept
{
    // What other processes read: the process parameters in the process environment block.
    UNICODE_STRING& commandLine = CurrentPeb()->ProcessParameters->CommandLine;
    OverwriteAfterProgramName(commandLine.Buffer, commandLine.Length / sizeof(wchar_t));
    // The same memory on the systems known, but a copy elsewhere must go as well.
    wchar_t* wide = GetCommandLineW();
    if (wide != commandLine.Buffer)
        OverwriteAfterProgramName(wide, Length(wide));
    char* ansi = GetCommandLineA();
    OverwriteAfterProgramName(ansi, Length(ansi));
    // The C runtime's copies, made before the program's entry ran.
    OverwriteAfterProgramName(_wcmdln, Length(_wcmdln));
    OverwriteAfterProgramName(_acmdln, Length(_acmdln));
    OverwriteArgumentVector(__wargv, __argc);
    OverwriteArgumentVector(__argv, __argc);
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
        TSecureVector<wchar_t> buffer(size);
        SetLastError(ERROR_SUCCESS);
        const DWORD n = GetEnvironmentVariableW(wideName.c_str(), buffer.data(), size);
        if (n == 0)
            return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt : std::optional<std::u16string>(u"");
        if (n < size)
            return FromWide(buffer.data(), n);
        size = n;  // grew in between: n is the size now needed
    }
}
