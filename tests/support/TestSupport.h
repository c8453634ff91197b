#pragma once
// Helpers shared by the test programs.

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/Bytes.h"
#include "core/SecureText.h"

// A wiping text in a failure message, as UTF-8 (found by GoogleTest next to the type).
void PrintTo(const TSecureText& text, std::ostream* os);

namespace TestSupport {

// Hex text (upper or lower case, no separators) to bytes and back (lower case).
TBytes FromHex(std::string_view hex);
std::string ToHex(const std::uint8_t* data, std::size_t size);
template <typename Bytes>
std::string ToHex(const Bytes& bytes)
{
    return ToHex(bytes.data(), bytes.size());
}

// UTF-16 text from UTF-8 literals, and back, for readable assertions.
std::u16string U16(std::string_view utf8);
std::string U8(std::u16string_view text);

// The folder of the running test program (build/<preset>/bin).
std::filesystem::path ProgramDir();
// A file of tests/data.
std::filesystem::path TestDataFile(std::string_view name);

TBytes ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const void* data, std::size_t size);
inline void WriteFileBytes(const std::filesystem::path& path, std::string_view text)
{
    WriteFileBytes(path, text.data(), text.size());
}

// A fresh empty folder, removed with its content when the object goes.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::filesystem::path& Path() const noexcept { return FPath; }
    std::filesystem::path operator/(std::string_view name) const { return FPath / name; }

private:
    std::filesystem::path FPath;
};

// Whether the program runs under Wine (ntdll exports wine_get_version). Tests that rest on a
// provider behaviour Wine lacks skip there, with the reason printed.
bool RunningUnderWine();

}  // namespace TestSupport
