#include "platform/Process.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/Exceptions.h"
#include "core/SecureZero.h"
#include "core/Text.h"

namespace {

std::vector<std::u16string>& Arguments()
{
    static std::vector<std::u16string> arguments;
    return arguments;
}

bool& ArgumentsSet()
{
    static bool set = false;
    return set;
}

// The argv memory itself, which the kernel shows other processes.
struct THandedOver {
    int Count = 0;
    char** Values = nullptr;
};

THandedOver& HandedOver()
{
    static THandedOver handedOver;
    return handedOver;
}

// The kernel's copy of the command line, for programs that did not hand theirs over.
std::vector<std::u16string> ReadOwnCommandLine()
{
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::u16string> out;
    std::size_t start = 0;
    while (start < raw.size()) {
        std::size_t end = raw.find('\0', start);
        if (end == std::string::npos)
            end = raw.size();
        out.push_back(FromUtf8Lossy(std::string_view(raw).substr(start, end - start)));
        start = end + 1;
    }
    return out;
}

}  // namespace

void SetCommandLine(int argc, char** argv)
{
    std::vector<std::u16string> arguments;
    for (int i = 0; i < argc && argv[i] != nullptr; ++i)
        arguments.push_back(FromUtf8Lossy(argv[i]));
    Arguments() = std::move(arguments);
    ArgumentsSet() = true;
    HandedOver() = {argc, argv};
}

void OverwriteArguments() noexcept
{
    const THandedOver& handedOver = HandedOver();
    for (int i = 1; i < handedOver.Count && handedOver.Values[i] != nullptr; ++i)
        std::memset(handedOver.Values[i], static_cast<char>(ArgumentPlaceholder), std::strlen(handedOver.Values[i]));
    auto& arguments = Arguments();
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        std::u16string& argument = arguments[i];
        const std::size_t length = argument.size();
        argument.resize(argument.capacity());
        SecureZero(argument.data(), argument.size() * sizeof(char16_t));
        // Same length, so no allocation: the text stays in its own buffer.
        argument.assign(length, ArgumentPlaceholder);
    }
}

std::u16string ParamStr(int index)
{
    if (index == 0)
        return ExecutablePath();
    if (!ArgumentsSet()) {
        Arguments() = ReadOwnCommandLine();
        ArgumentsSet() = true;
    }
    const auto& arguments = Arguments();
    if (index < 0 || static_cast<std::size_t>(index) >= arguments.size())
        return {};
    return arguments[static_cast<std::size_t>(index)];
}

std::u16string ExecutablePath()
{
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            throw EOSError(u"readlink /proc/self/exe: " + FromUtf8Lossy(std::strerror(errno)),
                           static_cast<std::uint32_t>(errno));
        if (static_cast<std::size_t>(n) < buffer.size())
            return FromUtf8Lossy(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<std::u16string> GetEnvironmentVariable(std::u16string_view name)
{
    const std::string utf8Name = ToUtf8Lossy(name);
    const char* value = std::getenv(utf8Name.c_str());
    if (value == nullptr)
        return std::nullopt;
    return FromUtf8Lossy(value);
}
