#pragma once
// The dialer entry's work between its argument and the dial: the parameter block decrypted into
// the parameter list, items 0 to 4 read, and the dial made with them.

#include <cstdint>
#include <string>

#include "CorvaneUtil/CorvaneUtil.h"
#include "dialer/VpnConnectManagerX64.h"

// Decrypts the block, reads the five items (all of them before dialing) and returns the dial's
// result. Raises what DecryptParams, the list and the dial raise; the list is freed on every path
// before the exception leaves. A block that no key of this minute or the one before verifies has
// its minute looked for, for at most two seconds, and named in the exception's message.
std::uint32_t DialParameterBlock(const std::u16string& encryptedParamStr, TRasDialWBinder bindRasDialW = &BindRasDialW);
// The same at the given moment, its minute looked for as search says.
std::uint32_t DialParameterBlock(const std::u16string& encryptedParamStr, TRasDialWBinder bindRasDialW,
                                 const TLocalDateTime& now, const TMinuteSearch& search);

// The dialer's run: argument 1 read as the block, the command line then overwritten where other
// processes read it (the dial can take as long as the server's time-out, and a block read within
// its minute yields the password), and the block dialed. The copy of the block read is wiped on
// every path.
std::uint32_t DialCommandLineBlock(TRasDialWBinder bindRasDialW = &BindRasDialW);
