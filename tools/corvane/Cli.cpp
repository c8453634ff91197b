#include "tools/corvane/Cli.h"

#include <cstring>

#include "core/Exceptions.h"
#include "core/Text.h"
#include "platform/Console.h"
#include "rtl/Encoding.h"
#include "rtl/FileStream.h"

TCommandArgs::TCommandArgs(std::string command, std::vector<std::u16string> args)
    : FCommand(std::move(command)), FArgs(std::move(args))
{
}

bool TCommandArgs::TakeFlag(std::string_view name)
{
    const std::u16string wanted = WidenAscii(name);
    for (auto it = FArgs.begin(); it != FArgs.end(); ++it) {
        if (*it == u"--")
            break;
        if (*it == wanted) {
            FArgs.erase(it);
            return true;
        }
    }
    return false;
}

std::optional<std::u16string> TCommandArgs::TakeValue(std::string_view name)
{
    const std::u16string wanted = WidenAscii(name);
    const std::u16string withEquals = wanted + u"=";
    for (auto it = FArgs.begin(); it != FArgs.end(); ++it) {
        if (*it == u"--")
            break;
        if (*it == wanted) {
            if (std::next(it) == FArgs.end())
                throw EUsageError{"option " + std::string(name) + " needs a value"};
            std::u16string value = *std::next(it);
            FArgs.erase(it, std::next(it, 2));
            return value;
        }
        if (it->starts_with(withEquals)) {
            std::u16string value = it->substr(withEquals.size());
            FArgs.erase(it);
            return value;
        }
    }
    return std::nullopt;
}

std::vector<std::u16string> TCommandArgs::TakePositionals(std::size_t min, std::size_t max)
{
    // Moved, not copied: a positional may be a parameter block, and its copies here would be freed
    // unwiped.
    std::vector<std::u16string> positionals;
    bool optionsEnded = false;
    for (std::u16string& arg : FArgs) {
        if (!optionsEnded && arg == u"--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && arg.size() > 1 && arg[0] == u'-')
            throw EUsageError{"unknown option " + Utf8(arg) + " for " + FCommand};
        positionals.push_back(std::move(arg));
    }
    FArgs.clear();
    if (positionals.size() < min)
        throw EUsageError{FCommand + ": missing argument (see corvane " + FCommand + " --help)"};
    if (positionals.size() > max)
        throw EUsageError{FCommand + ": too many arguments (see corvane " + FCommand + " --help)"};
    return positionals;
}

std::string Utf8(std::u16string_view text)
{
    return ToUtf8Lossy(text);
}

namespace {

// UTF-8 as Utf8 writes it (a lone surrogate becomes U+FFFD), in a buffer that is wiped.
void WriteOutWiped(std::u16string_view text, bool lineEnd)
{
    TSecureBytes bytes = TEncoding::UTF8().GetBytes(text);
    if (lineEnd)
        bytes.push_back('\n');
    WriteStreamText(stdout, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace

void WriteOut(std::u16string_view text)
{
    WriteOutWiped(text, false);
}

void WriteOutUtf8(std::string_view utf8)
{
    WriteStreamText(stdout, utf8);
}

void WriteOutLine(std::u16string_view text)
{
    WriteOutWiped(text, true);
}

void WriteError(std::string_view message)
{
    WriteStreamText(stderr, "corvane: " + std::string(message) + "\n");
}

TSecureBytes ReadStandardInput()
{
    if (auto typed = ReadConsoleText(stdin))
        return std::move(*typed);
    TSecureBytes bytes;
    std::uint8_t buffer[65536];
    for (;;) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, stdin);
        bytes.insert(bytes.end(), buffer, buffer + n);
        if (n < sizeof buffer)
            break;
    }
    SecureZero(buffer, sizeof buffer);
    if (std::ferror(stdin))
        throw EToolFailure{"cannot read standard input"};
    return bytes;
}

TSecureBytes ReadFileBytes(const std::u16string& path)
{
    try {
        TFileStream file(path, TFileStream::TMode::OpenRead);
        TSecureBytes bytes(static_cast<std::size_t>(file.Size()));
        file.ReadBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
        return bytes;
    } catch (const Exception& e) {
        throw EToolFailure{"cannot read " + Utf8(path) + ": " + e.what()};
    }
}

TSecureText DecodeUtf8(const TSecureBytes& bytes, std::string_view what)
{
    try {
        return TEncoding::UTF8().GetString(bytes);
    } catch (const EEncodingError&) {
        throw EToolFailure{std::string(what) + " is not valid UTF-8"};
    }
}

TSecureText DecodeText(const TSecureBytes& bytes, std::string_view what)
{
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        if (bytes.size() % 2 != 0)
            throw EToolFailure{std::string(what) + " is not valid UTF-16: an odd number of bytes"};
        TSecureText text;
        text.reserve(bytes.size() / 2 - 1);
        for (std::size_t i = 2; i < bytes.size(); i += 2)
            text.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
        // Surrogates only in pairs.
        for (std::size_t i = 0; i < text.size(); ++i) {
            const bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF;
            const bool low = text[i] >= 0xDC00 && text[i] <= 0xDFFF;
            if (low || (high && (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)))
                throw EToolFailure{std::string(what) + " is not valid UTF-16"};
            if (high)
                ++i;
        }
        return text;
    }
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        return DecodeUtf8(TSecureBytes(bytes.begin() + 3, bytes.end()), what);
    return DecodeUtf8(bytes, what);
}
