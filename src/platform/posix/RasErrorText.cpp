#include "platform/RasErrorText.h"

std::optional<std::u16string> SystemRasErrorText(std::uint32_t)
{
    // The POSIX RAS layer has no texts of its own; the caller's table speaks for it.
    return std::nullopt;
}
