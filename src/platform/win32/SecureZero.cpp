#include "platform/SecureZero.h"

#include <windows.h>

void SecureZero(void* data, std::size_t size) noexcept
{
    if (data != nullptr && size != 0)
        SecureZeroMemory(data, size);
}
