#include "platform/CodePage.h"

#include <windows.h>

#include <atomic>
#include <limits>

#include "core/Exceptions.h"
#include "core/Text.h"

// The conversions use no flags on purpose: characters the code page lacks then map best-fit
// where Windows knows a fit and to the default character otherwise, and decoding never fails.

namespace {

// 0: follow the active code page of the system.
std::atomic<std::uint32_t> GCodePage{0};
// This thread's choice over the process's; 0 while none.
thread_local std::uint32_t GThreadCodePage = 0;

int CheckedLength(std::size_t size)
{
    if (size > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw EOSError(u"Text too long for code page conversion", ERROR_ARITHMETIC_OVERFLOW);
    return static_cast<int>(size);
}

[[noreturn]] void RaiseLastError(const char16_t* function)
{
    const DWORD error = GetLastError();
    throw EOSError(std::u16string(function) + u":" + IntToStr(error), error);
}

}  // namespace

std::uint32_t AnsiCodePage()
{
    const std::uint32_t chosen = GThreadCodePage != 0 ? GThreadCodePage : GCodePage.load();
    return chosen != 0 ? chosen : GetACP();
}

void SetAnsiCodePage(std::uint32_t codePage)
{
    if (!IsValidCodePage(codePage))
        throw EOSError(u"Code page " + IntToStr(codePage) + u" is not available", ERROR_INVALID_PARAMETER);
    GCodePage.store(codePage);
}

TThreadCodePage::TThreadCodePage(std::uint32_t codePage) : FPrevious(GThreadCodePage)
{
    if (codePage == 0)
        return;
    if (!IsValidCodePage(codePage))
        throw EOSError(u"Code page " + IntToStr(codePage) + u" is not available", ERROR_INVALID_PARAMETER);
    GThreadCodePage = codePage;
}

TThreadCodePage::~TThreadCodePage()
{
    GThreadCodePage = FPrevious;
}

TSecureBytes UnicodeToAnsi(std::u16string_view text)
{
    if (text.empty())
        return {};
    const UINT codePage = AnsiCodePage();
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = CheckedLength(text.size());
    const int needed = WideCharToMultiByte(codePage, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        RaiseLastError(u"WideCharToMultiByte");
    TSecureBytes bytes(static_cast<std::size_t>(needed));
    const int written =
        WideCharToMultiByte(codePage, 0, wide, length, reinterpret_cast<char*>(bytes.data()), needed, nullptr, nullptr);
    if (written <= 0)
        RaiseLastError(u"WideCharToMultiByte");
    bytes.resize(static_cast<std::size_t>(written));
    return bytes;
}

TSecureText AnsiToUnicode(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return {};
    const UINT codePage = AnsiCodePage();
    const auto* narrow = reinterpret_cast<const char*>(data);
    const int length = CheckedLength(size);
    const int needed = MultiByteToWideChar(codePage, 0, narrow, length, nullptr, 0);
    if (needed <= 0)
        RaiseLastError(u"MultiByteToWideChar");
    TSecureText text(static_cast<std::size_t>(needed), u'\0');
    const int written =
        MultiByteToWideChar(codePage, 0, narrow, length, reinterpret_cast<wchar_t*>(text.data()), needed);
    if (written <= 0)
        RaiseLastError(u"MultiByteToWideChar");
    text.resize(static_cast<std::size_t>(written));
    return text;
}
