#include "Commands.h"
#include "Items.h"
#include "LogRecordView.h"
#include "StatusMeaning.h"

#include <cstdint>
#include <optional>
#include <string>

#include "CorvaneUtil/CorvaneUtil.h"
#include "core/Exceptions.h"
#include "core/Text.h"
#include "dialer/ExitStatus.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/ProgramRun.h"

namespace {

constexpr std::uint32_t kDefaultTimeoutSeconds = 300;
constexpr std::uint32_t kMaxTimeoutSeconds = 86400;

std::uint32_t TakeTimeout(TCommandArgs& args)
{
    const auto text = args.TakeValue("--timeout");
    if (!text)
        return kDefaultTimeoutSeconds;
    std::uint32_t seconds = 0;
    for (char16_t c : *text) {
        if (c < u'0' || c > u'9' || seconds > kMaxTimeoutSeconds)
            throw EUsageError{"--timeout wants whole seconds from 1 to 86400"};
        seconds = seconds * 10 + static_cast<std::uint32_t>(c - u'0');
    }
    if (text->empty() || seconds == 0 || seconds > kMaxTimeoutSeconds)
        throw EUsageError{"--timeout wants whole seconds from 1 to 86400"};
    return seconds;
}

// The dialer's error log, where the dialer itself writes it: the common error-log folder under
// PROGRAMDATA when that exists, else beside the dialer; named after the dialer without its
// extension. The dialer inherits this process's environment, so both see the same PROGRAMDATA.
struct TDialerLog {
    std::u16string Log;
    std::u16string Old;
};

TDialerLog DialerLog(const std::u16string& dialer)
{
    std::u16string directory = GetEnvironmentVariable(u"PROGRAMDATA").value_or(u"");
    for (const char16_t* part : {u"Orvex", u"Common", u"ErrorLog"}) {
        directory += PathDelimiter;
        directory += part;
    }
    directory += PathDelimiter;
    if (!DirectoryExists(directory))
        directory = ExtractFilePath(dialer);
    std::u16string name = ExtractFileName(dialer);
    const std::size_t dot = name.find_last_of(u'.');
    if (dot != std::u16string::npos)
        name.resize(dot);
    return {directory + name + u".log", directory + name + u".old"};
}

std::string Bytes(const std::optional<TSecureBytes>& bytes)
{
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

std::optional<TSecureBytes> ReadIfPresent(const std::u16string& path)
{
    if (!FileExists(path))
        return std::nullopt;
    return ReadFileBytes(path);
}

// The bytes this run added to the log. A log that shrank was moved to .old before the record was
// written: the old file's part beyond the earlier size, then the whole new log.
std::string AddedBytes(const TDialerLog& log, std::size_t sizeBefore)
{
    const std::string now = Bytes(ReadIfPresent(log.Log));
    if (now.size() >= sizeBefore)
        return now.substr(sizeBefore);
    const std::string old = Bytes(ReadIfPresent(log.Old));
    return (old.size() > sizeBefore ? old.substr(sizeBefore) : std::string()) + now;
}

std::u16string DefaultDialer()
{
    return ExtractFilePath(ExecutablePath()) + u"CorvaneDialer" + std::u16string(ProgramExtension);
}

}  // namespace

int DialCommand(TCommandArgs& args)
{
    TakeCodePage(args);
    const bool json = args.TakeFlag("--json");
    const std::u16string dialer = args.TakeValue("--dialer").value_or(DefaultDialer());
    const auto itemsFile = args.TakeValue("--items");
    const std::uint32_t timeout = TakeTimeout(args);
    args.TakePositionals(0, 0);

    if (!FileExists(dialer))
        throw EToolFailure{"no dialer at " + EscapedText(dialer, false) + " (give its path with --dialer)"};
    const TStringList items = ReadItems(itemsFile);
    const TDialerLog log = DialerLog(dialer);
    const std::size_t sizeBefore = Bytes(ReadIfPresent(log.Log)).size();

    std::u16string block;
    try {
        TCorvaneUtil::EncryptParams(items, block);
    } catch (const Exception& e) {
        throw EToolFailure{std::string("cannot make the block: ") + e.what()};
    }

    TProgramEnd end;
    try {
        end = RunProgram(dialer, {block}, timeout);
    } catch (const Exception& e) {
        throw EToolFailure{e.what()};
    }
    if (end.Kind == TProgramEnd::TKind::TimedOut)
        throw EToolFailure{"the dialer did not end within " + std::to_string(timeout) +
                           (timeout == 1 ? " second" : " seconds") + " and was stopped; the dial's outcome is unknown"};
    if (end.Kind == TProgramEnd::TKind::Signalled)
        throw EToolFailure{"the dialer was ended by signal " + std::to_string(end.Status) +
                           " (a fault in the RAS library or the command it ran); it leaves no log record"};

#ifdef _WIN32
    const std::optional<std::uint32_t> dialResult = end.Status;
    const TStatusMeaning meaning = DialResultMeaning(end.Status);
#else
    const TPosixStatusMeaning arrival = PosixStatusMeaning(static_cast<int>(end.Status));
    const std::optional<std::uint32_t> dialResult = arrival.DialResult;
    const TStatusMeaning& meaning = arrival.Meaning;
#endif

    std::vector<TShownRecord> records;
    if (dialResult == NoDialResult)
        records = ShowRecords(AddedBytes(log, sizeBefore));

    std::string out;
    if (json) {
        out = "{\"status\": " + std::to_string(end.Status) +
              ", \"dialResult\": " + (dialResult ? std::to_string(*dialResult) : std::string("null")) +
              ", \"meaning\": \"" + EscapedText(meaning.Text, true) + "\", \"records\": [";
        for (std::size_t i = 0; i < records.size(); ++i)
            out += std::string(i == 0 ? "\n  " : ",\n  ") + RecordJson(records[i]);
        out += records.empty() ? "]}\n" : "\n]}\n";
    } else {
        out = "exit status " + std::to_string(end.Status);
        if (dialResult != end.Status)
            out += dialResult ? " (dial result " + std::to_string(*dialResult) + ")" : " (dial result unknown)";
        out += ": " + EscapedText(meaning.Text, false) + "\n";
        for (const TShownRecord& record : records)
            out += RecordLine(record);
        if (dialResult == NoDialResult && records.empty())
            out += "no record was added to " + EscapedText(log.Log, false) + "\n";
    }
    WriteOutUtf8(out);
    return dialResult == 0u && end.Status == 0 ? 0 : 1;
}
