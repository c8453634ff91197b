#pragma once
#include <cstdint>
#include <vector>

// The wiping byte array TSecureBytes, and WipeBytes, come with this header: a unit that handles
// both kinds of byte array includes one header.
#include "core/SecureMemory.h"

// A counted array of bytes: salts, digests, containers.
using TBytes = std::vector<std::uint8_t>;
