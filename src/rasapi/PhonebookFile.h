#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Reads a whole phonebook file. Returns 0, RasCannotOpenPhonebook when it cannot be opened or is
// not a regular file, RasCannotLoadPhonebook when reading fails or it is larger than any
// phonebook should be (MaxPhonebookSize).
inline constexpr std::size_t MaxPhonebookSize = 16 * 1024 * 1024;
std::uint32_t ReadPhonebookFile(const std::string& path, std::string& text);
