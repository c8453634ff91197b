#pragma once
#include <cstdint>
#include <optional>
#include <string>

// The Remote Access Service's own text for one of its error codes, in the installation's
// language, or nothing when the system has none to give (no library, no function, an unknown
// code: every failure is "nothing"). Never raises but std::bad_alloc.
// Windows: RasGetErrorStringW, bound at first use from rasapi32.dll by its full path in the system
// directory (never the DLL search order). POSIX: there is no system text; always nothing.
std::optional<std::u16string> SystemRasErrorText(std::uint32_t code);
