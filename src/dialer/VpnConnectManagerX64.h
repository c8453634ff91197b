#pragma once
#include <cstdint>

#include "CorvaneUtil/ExitStatus.h"
#include "core/SecureText.h"
#include "platform/RasBinding.h"

// How the dial gets RasDialW: BindRasDialW, or in the tests a function of their own.
using TRasDialWBinder = TRasDialWFunction (*)();

// Dials a phonebook entry synchronously through the Remote Access Service and returns its result
// unchanged: 0 when the connection was made, otherwise the service's error code. The connection
// stays up; nothing is hung up. A text longer than its record field (256 characters, 128 for the
// phone number) gives ErrorInvalidParameter without a dial: a password cut short would only
// surface as a baffling authentication failure. Binding failures raise Exception.
std::uint32_t DialVpnConnection(const TSecureText& phonebook, const TSecureText& entryName, const TSecureText& userName,
                                const TSecureText& password, const TSecureText& phoneNumber,
                                TRasDialWBinder bindRasDialW = &BindRasDialW);
