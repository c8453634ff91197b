#include "platform/RasErrorText.h"

#include <windows.h>

#include "platform/win32/SystemLibrary.h"

namespace {

// RasGetErrorStringW(code, buffer, buffer size in characters): 0 on success.
using TRasGetErrorStringW = DWORD(WINAPI*)(UINT, LPWSTR, DWORD);

// Blanks and line breaks around a text.
std::u16string Trimmed(std::u16string text)
{
    const auto blank = [](char16_t c) { return c == u' ' || c == u'\r' || c == u'\n' || c == u'\t'; };
    while (!text.empty() && blank(text.back()))
        text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && blank(text[start]))
        ++start;
    return text.substr(start);
}

}  // namespace

std::optional<std::u16string> SystemRasErrorText(std::uint32_t code)
{
    // Loaded for the one question and released again; the tool asks rarely.
    const TUniqueModule module = LoadSystemLibrary(L"rasapi32.dll");
    if (!module)
        return std::nullopt;
    const auto function = reinterpret_cast<TRasGetErrorStringW>(
        reinterpret_cast<void*>(GetProcAddress(module.Get(), "RasGetErrorStringW")));
    if (function == nullptr)
        return std::nullopt;
    // 512 characters hold every text the service has.
    wchar_t buffer[512] = {};
    if (function(static_cast<UINT>(code), buffer, static_cast<DWORD>(std::size(buffer))) != 0)
        return std::nullopt;
    buffer[std::size(buffer) - 1] = L'\0';
    std::u16string text = Trimmed(std::u16string(reinterpret_cast<const char16_t*>(buffer)));
    if (text.empty())
        return std::nullopt;
    return text;
}
