#include "platform/Console.h"

#include <unistd.h>

namespace {

// A POSIX terminal takes UTF-8 bytes: no stream needs the console path.
bool NeverConsole(std::FILE*)
{
    return false;
}

bool NoConsoleWrite(std::FILE*, std::u16string_view)
{
    return false;
}

std::int64_t NoConsoleRead(std::FILE*, char16_t*, std::size_t)
{
    return -1;
}

}  // namespace

bool IsTerminal(std::FILE* stream)
{
    return isatty(fileno(stream)) == 1;
}

void SetBinaryMode(std::FILE*)
{
    // POSIX streams never translate line ends.
}

TConsoleCalls SystemConsoleCalls()
{
    return {&NeverConsole, &NoConsoleWrite, &NoConsoleRead};
}
