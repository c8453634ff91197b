#pragma once
// The Remote Access Service error codes this layer returns; the same numbers as on Windows.
#include <cstdint>

inline constexpr std::uint32_t RasSuccess = 0;
inline constexpr std::uint32_t RasInvalidParameter = 87;      // a record or text that cannot be read
inline constexpr std::uint32_t RasDeviceDoesNotExist = 608;   // the command could not be started
inline constexpr std::uint32_t RasCannotOpenPhonebook = 621;  // the phonebook cannot be opened
inline constexpr std::uint32_t RasCannotLoadPhonebook = 622;  // it opened but could not be read
inline constexpr std::uint32_t RasCannotFindEntry = 623;      // no section of the entry name
inline constexpr std::uint32_t RasCorruptPhonebook = 625;     // the entry has no usable Command=
inline constexpr std::uint32_t RasInvalidSize = 632;          // a record's dwSize is not ours
inline constexpr std::uint32_t RasFromDevice = 651;           // the command failed or was killed
inline constexpr std::uint32_t RasAllocatingMemory = 664;     // out of memory
