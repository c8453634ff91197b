#include "core/SecureZero.h"

#include <cstring>

namespace {

// Called through a volatile pointer: the compiler cannot know it is memset, so it cannot drop
// the call as a store to memory that is about to die.
void* (*const volatile WipeMemory)(void*, int, std::size_t) = std::memset;

}  // namespace

void SecureZero(void* data, std::size_t size) noexcept
{
    if (data != nullptr && size != 0)
        WipeMemory(data, 0, size);
}
