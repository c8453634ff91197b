#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/SecureMemory.h"

// Characters that may carry the password: wiped when released.
using TSecureChars = TSecureVector<char>;

// "NAME=value" with its terminating zero, as the environment of a program holds it.
TSecureChars MakeEnvironmentEntry(std::string_view name, const TSecureChars& value);

// Runs the command's words as a program (looked up in PATH, no shell) with the process
// environment plus the given entries, which replace variables of the same names. Waits for it and
// returns a RAS result: 0 when it exits with 0, RasFromDevice when it exits otherwise or is
// killed, RasDeviceDoesNotExist when it cannot be started.
std::uint32_t RunConnectCommand(const std::vector<std::string>& words, const std::vector<TSecureChars>& entries);
