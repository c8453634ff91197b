#include "platform/Console.h"

#include <fcntl.h>
#include <io.h>

bool IsTerminal(std::FILE* stream)
{
    return _isatty(_fileno(stream)) != 0;
}

void SetBinaryMode(std::FILE* stream)
{
    _setmode(_fileno(stream), _O_BINARY);
}
