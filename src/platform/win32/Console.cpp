#include "platform/Console.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>

namespace {

HANDLE HandleOf(std::FILE* stream)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

bool IsConsoleHandle(std::FILE* stream)
{
    const HANDLE handle = HandleOf(stream);
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode) != 0;
}

bool WriteToConsole(std::FILE* stream, std::u16string_view text)
{
    const HANDLE handle = HandleOf(stream);
    // In pieces the console takes at once, never splitting a surrogate pair.
    constexpr std::size_t Piece = 8192;
    while (!text.empty()) {
        std::size_t size = std::min(text.size(), Piece);
        if (size < text.size() && text[size - 1] >= 0xD800 && text[size - 1] <= 0xDBFF)
            --size;
        DWORD written = 0;
        if (!WriteConsoleW(handle, text.data(), static_cast<DWORD>(size), &written, nullptr) || written == 0)
            return false;
        text.remove_prefix(written);
    }
    return true;
}

std::int64_t ReadFromConsole(std::FILE* stream, char16_t* buffer, std::size_t size)
{
    DWORD read = 0;
    if (!ReadConsoleW(HandleOf(stream), buffer, static_cast<DWORD>(size), &read, nullptr))
        return -1;
    return read;
}

}  // namespace

bool IsTerminal(std::FILE* stream)
{
    return _isatty(_fileno(stream)) != 0;
}

void SetBinaryMode(std::FILE* stream)
{
    _setmode(_fileno(stream), _O_BINARY);
}

TConsoleCalls SystemConsoleCalls()
{
    return {&IsConsoleHandle, &WriteToConsole, &ReadFromConsole};
}
