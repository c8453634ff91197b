#include "platform/Console.h"

#include "core/Exceptions.h"
#include "core/ScopeExit.h"
#include "core/Text.h"

namespace {

TConsoleCalls& Calls()
{
    static TConsoleCalls calls = SystemConsoleCalls();
    return calls;
}

// Ctrl+Z: the end of what is typed at a console.
constexpr char16_t ConsoleEnd = 0x1A;

}  // namespace

TConsoleCalls SetConsoleCallsForTesting(const TConsoleCalls& calls)
{
    const TConsoleCalls previous = Calls();
    Calls() = calls;
    return previous;
}

void WriteStreamText(std::FILE* stream, std::string_view utf8)
{
    const TConsoleCalls& calls = Calls();
    if (calls.IsConsole(stream)) {
        // Whatever went into the stream's buffer before comes first.
        std::fflush(stream);
        std::u16string text = FromUtf8Lossy(utf8);
        const bool written = calls.Write(stream, text);
        // The text may be a secret (a password shown on request, decrypted text).
        SecureZero(text.data(), text.size() * sizeof(char16_t));
        if (written)
            return;
    }
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
}

std::optional<TSecureBytes> ReadConsoleText(std::FILE* stream)
{
    const TConsoleCalls& calls = Calls();
    if (!calls.IsConsole(stream))
        return std::nullopt;
    TSecureBytes bytes{0xFF, 0xFE};
    char16_t buffer[1024];
    // What was typed may be a secret, however the reading ends.
    const TScopeExit wipeBuffer([&buffer] { SecureZero(buffer, sizeof buffer); });
    bool ended = false;
    while (!ended) {
        const std::int64_t count = calls.Read(stream, buffer, std::size(buffer));
        if (count < 0)
            throw EOSError(u"cannot read the console");
        ended = count == 0;
        for (std::int64_t i = 0; i < count && !ended; ++i) {
            if (buffer[i] == ConsoleEnd) {
                ended = true;
                break;
            }
            bytes.push_back(static_cast<std::uint8_t>(buffer[i] & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(buffer[i] >> 8));
        }
    }
    return bytes;
}
