#include "launchlib/Boundary.h"

#include <cstring>

int ReturnCodeOf(TLaunchFault fault) noexcept
{
    switch (fault) {
        case TLaunchFault::ItemMissing:
            return CORVANE_E_INVALID_ARGUMENT;
        case TLaunchFault::ItemHoldsNul:
            return CORVANE_E_ITEM_HOLDS_NUL;
        case TLaunchFault::NotRepresentable:
        case TLaunchFault::NotReadBack:
            return CORVANE_E_NOT_REPRESENTABLE;
        case TLaunchFault::CannotMake:
            break;
    }
    return CORVANE_E_INTERNAL;
}

int PutBytes(const std::uint8_t* bytes, std::size_t length, char* buffer, std::size_t* size) noexcept
{
    const std::size_t room = *size;
    *size = length;
    if (buffer == nullptr || room < length)
        return CORVANE_E_BUFFER_TOO_SMALL;
    if (length != 0)
        std::memcpy(buffer, bytes, length);
    return CORVANE_OK;
}
