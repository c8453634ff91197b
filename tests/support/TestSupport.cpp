#include "support/TestSupport.h"

#include <fstream>
#include <random>
#include <stdexcept>

#include "core/Text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

void PrintTo(const TSecureText& text, std::ostream* os)
{
    *os << '"' << ToUtf8Lossy(text) << '"';
}

namespace TestSupport {

TBytes FromHex(std::string_view hex)
{
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        throw std::invalid_argument("not a hex digit");
    };
    if (hex.size() % 2 != 0)
        throw std::invalid_argument("odd hex length");
    TBytes out(hex.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<std::uint8_t>(nibble(hex[2 * i]) << 4 | nibble(hex[2 * i + 1]));
    return out;
}

std::string ToHex(const std::uint8_t* data, std::size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out.push_back(digits[data[i] >> 4]);
        out.push_back(digits[data[i] & 15]);
    }
    return out;
}

std::u16string U16(std::string_view utf8)
{
    return FromUtf8Lossy(utf8);
}
std::string U8(std::u16string_view text)
{
    return ToUtf8Lossy(text);
}

std::filesystem::path ProgramDir()
{
#ifdef _WIN32
    wchar_t buffer[32768];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, 32768);
    return std::filesystem::path(std::wstring(buffer, n)).parent_path();
#else
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
#endif
}

std::filesystem::path TestDataFile(std::string_view name)
{
    return std::filesystem::path(CORVANE_TEST_DATA_DIR) / name;
}

TBytes ReadFileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path.string());
    return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::filesystem::path& path, const void* data, std::size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

TTempDir::TTempDir()
{
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        FPath = base / ("corvane-test-" + std::to_string(random()) + std::to_string(random()));
        if (std::filesystem::create_directory(FPath))
            break;
    }
}

TTempDir::~TTempDir()
{
    std::error_code ignored;
    std::filesystem::permissions(FPath, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(FPath, ignored);
}

bool RunningUnderWine()
{
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

}  // namespace TestSupport
