#pragma once
// Calls of the C interface as a launching program makes them, for the tests of the library.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/Bytes.h"

#include "corvane/launch.h"

namespace LaunchTesting {

// 10:15 on 10 March 2024, and the minutes around it: fixed, never the running clock.
inline constexpr corvane_minute MadeAt{2024, 3, 10, 10, 15};
inline constexpr corvane_minute NextMinute{2024, 3, 10, 10, 16};
inline constexpr corvane_minute TwoMinutesOn{2024, 3, 10, 10, 17};

// The items as the C array the interface takes (pointers into the strings, which must outlive it).
std::vector<const char*> Pointers(const std::vector<std::string>& items);

struct TMade {
    int Result = 0;
    std::string Block;  // without its NUL
};
// Asks for the size, then makes the block with a buffer of that size.
TMade Make(const std::vector<std::string>& items, std::uint32_t codePage, const corvane_minute* at);

struct TRead {
    int Result = 0;
    std::vector<std::string> Items;
};
TRead Read(const std::string& block, std::uint32_t codePage, const corvane_minute* at);

// Fields of the RASDIALPARAMSW record the recording RAS double was handed, as UTF-16LE.
inline constexpr std::size_t UserNameOffset = 1034;
inline constexpr std::size_t PasswordOffset = 1548;
// The NUL-terminated UTF-16LE text at offset in a recorded record.
std::u16string TextAt(const TBytes& record, std::size_t offset);

}  // namespace LaunchTesting
