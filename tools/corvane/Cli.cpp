#include "Cli.h"

#include <cstring>

#include "rtl/Encoding.h"
#include "rtl/Exceptions.h"
#include "rtl/FileStream.h"
#include "rtl/Text.h"

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
    std::vector<std::u16string> positionals;
    bool optionsEnded = false;
    for (const std::u16string& arg : FArgs) {
        if (!optionsEnded && arg == u"--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && arg.size() > 1 && arg[0] == u'-')
            throw EUsageError{"unknown option " + Utf8(arg) + " for " + FCommand};
        positionals.push_back(arg);
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

void WriteOut(std::u16string_view text)
{
    const std::string bytes = Utf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

void WriteOutLine(std::u16string_view text)
{
    WriteOut(text);
    std::fputc('\n', stdout);
}

void WriteError(std::string_view message)
{
    std::fprintf(stderr, "corvane: %.*s\n", static_cast<int>(message.size()), message.data());
}

TSecureBytes ReadStandardInput()
{
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

std::u16string DecodeUtf8(const TSecureBytes& bytes, std::string_view what)
{
    try {
        return TEncoding::UTF8().GetString(bytes);
    } catch (const EEncodingError&) {
        throw EToolFailure{std::string(what) + " is not valid UTF-8"};
    }
}
