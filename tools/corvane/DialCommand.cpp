#include "tools/corvane/Commands.h"
#include "tools/corvane/Items.h"
#include "tools/corvane/LogFileRead.h"
#include "tools/corvane/LogRecordView.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "CorvaneUtil/CorvaneUtil.h"
#include "CorvaneUtil/ExitStatus.h"
#include "core/Exceptions.h"
#include "core/ScopeExit.h"
#include "core/SecureZero.h"
#include "core/Text.h"
#include "launch/Dial.h"
#include "launch/StatusMeaning.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/ProgramRun.h"

namespace {

constexpr std::uint32_t DefaultTimeoutSeconds = 300;
constexpr std::uint32_t MaxTimeoutSeconds = 86400;

std::uint32_t TakeTimeout(TCommandArgs& args)
{
    const auto text = args.TakeValue("--timeout");
    if (!text)
        return DefaultTimeoutSeconds;
    std::uint32_t seconds = 0;
    for (char16_t c : *text) {
        if (c < u'0' || c > u'9' || seconds > MaxTimeoutSeconds)
            throw EUsageError{"--timeout wants whole seconds from 1 to 86400"};
        seconds = seconds * 10 + static_cast<std::uint32_t>(c - u'0');
    }
    if (text->empty() || seconds == 0 || seconds > MaxTimeoutSeconds)
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

std::string ReadIfPresent(const std::u16string& path)
{
    return FileExists(path) ? ReadLogFile(path) : std::string();
}

// The bytes this run added to the log, given its size before the dial. A log that shrank was moved
// to .old before the record was written: the old file's part beyond the earlier size, then the
// whole new log. A log of the same size got nothing: no earlier record is this run's.
std::string AddedBytes(const TDialerLog& log, std::uint64_t sizeBefore)
{
    const std::string now = ReadIfPresent(log.Log);
    if (now.size() >= sizeBefore)
        return now.substr(static_cast<std::size_t>(sizeBefore));
    const std::string old = ReadIfPresent(log.Old);
    return (old.size() > sizeBefore ? old.substr(static_cast<std::size_t>(sizeBefore)) : std::string()) + now;
}

// The records this run added, or why they cannot be read now.
struct TAddedRecords {
    std::vector<TShownRecord> Records;
    std::optional<std::u16string> Unreadable;  // why, when they cannot be read now
};

TAddedRecords ReadAddedRecords(const TDialerLog& log, const std::optional<std::uint64_t>& sizeBefore)
{
    if (!sizeBefore)
        return {{}, u"the size of " + log.Log + u" before the dial could not be read"};
    try {
        return {ShowRecords(AddedBytes(log, *sizeBefore)), std::nullopt};
    } catch (const Exception& e) {
        return {{}, e.Message()};
    }
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
    std::u16string block = MakeBlockForTool(items, LocalNow());
    const TScopeExit wipeBlock([&block] { WipeString(block); });
    const TDialerLog log = DialerLog(dialer);
    // Asked without reading the file, so a log held by another writer does not stop the dial.
    const std::optional<std::uint64_t> sizeBefore =
        FileExists(log.Log) ? FileSizeOf(log.Log) : std::optional<std::uint64_t>(0);

    TProgramEnd end;
    try {
        TRunOptions options;
        options.Timeout = std::chrono::seconds(timeout);
        end = RunDialer(dialer, block, options);
    } catch (const Exception& e) {
        throw EToolFailure{e.what()};
    }
    if (end.Kind == TProgramEnd::TKind::TimedOut)
        throw EToolFailure{"the dialer did not end within " + std::to_string(timeout) +
                           (timeout == 1 ? " second" : " seconds") +
                           " and was stopped; the dial's outcome is unknown (whatever the dialer had started was "
                           "ended with it)"};
    if (end.Kind == TProgramEnd::TKind::Signalled)
        throw EToolFailure{"the dialer was ended by signal " + std::to_string(end.Status) +
                           " (a fault in the RAS library or the command it ran); it leaves no log record, and "
                           "whatever it had started was ended with it"};
    if (end.Kind == TProgramEnd::TKind::Lost)
        throw EToolFailure{
            "the dialer ran, but its end could not be learnt (the process waiting for it was killed); the "
            "dial's outcome is unknown"};

#ifdef _WIN32
    const std::optional<std::uint32_t> dialResult = end.Status;
    const TStatusMeaning meaning = DialResultMeaning(end.Status);
#else
    const TPosixStatusMeaning arrival = PosixStatusMeaning(static_cast<int>(end.Status));
    const std::optional<std::uint32_t> dialResult = arrival.DialResult;
    const TStatusMeaning& meaning = arrival.Meaning;
#endif
    const int exitCode = dialResult == 0u && end.Status == 0 ? 0 : 1;

    if (!json) {
        // The status first, whatever becomes of the records.
        std::string line = "exit status " + std::to_string(end.Status);
        if (dialResult != end.Status)
            line += dialResult ? " (dial result " + std::to_string(*dialResult) + ")" : " (dial result unknown)";
        WriteOutUtf8(line + ": " + EscapedText(meaning.Text, false) + "\n");
        std::fflush(stdout);
    }

    TAddedRecords added;
    if (dialResult == NoDialResult)
        added = ReadAddedRecords(log, sizeBefore);

    std::string out;
    if (json) {
        out = "{\"status\": " + std::to_string(end.Status) +
              ", \"dialResult\": " + (dialResult ? std::to_string(*dialResult) : std::string("null")) +
              ", \"meaning\": \"" + EscapedText(meaning.Text, true) + "\", \"records\": ";
        if (added.Unreadable) {
            out += "null, \"recordsError\": \"cannot read the records this run added: " +
                   EscapedText(*added.Unreadable, true) + "\"}\n";
        } else {
            out += "[";
            for (std::size_t i = 0; i < added.Records.size(); ++i)
                out += std::string(i == 0 ? "\n  " : ",\n  ") + RecordJson(added.Records[i]);
            out += added.Records.empty() ? "]}\n" : "\n]}\n";
        }
    } else if (dialResult == NoDialResult) {
        if (added.Unreadable)
            out = "the records this run added cannot be read now (" + EscapedText(*added.Unreadable, false) +
                  "); read them later with corvane read-log " + EscapedText(log.Log, false) + "\n";
        else if (added.Records.empty())
            out = "this run added no record to " + EscapedText(log.Log, false) +
                  " (the dialer could not write its log)\n";
        for (const TShownRecord& record : added.Records)
            out += RecordLine(record);
    }
    WriteOutUtf8(out);
    return exitCode;
}
