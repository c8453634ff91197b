#include "platform/Console.h"

#include <unistd.h>

bool IsTerminal(std::FILE* stream)
{
    return isatty(fileno(stream)) == 1;
}

void SetBinaryMode(std::FILE*)
{
    // POSIX streams never translate line ends.
}
