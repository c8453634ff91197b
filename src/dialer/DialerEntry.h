#pragma once
// The dialer entry's work between its argument and the dial: the parameter block decrypted into
// the parameter list, items 0 to 4 read, and the dial made with them.

#include <cstdint>
#include <string>

#include "dialer/VpnConnectManagerX64.h"

// Decrypts the block, reads the five items (all of them before dialing) and returns the dial's
// result. Raises what DecryptParams, the list and the dial raise; the list is freed on every path
// before the exception leaves.
std::uint32_t DialParameterBlock(const std::u16string& encryptedParamStr, TRasDialWBinder bindRasDialW = &BindRasDialW);
