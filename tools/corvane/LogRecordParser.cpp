#include "tools/corvane/LogRecordParser.h"

namespace {

constexpr std::string_view TimeEnd = "] \r\n";
constexpr std::string_view StartLine = "ErrorMsgST/\r\n";
constexpr std::string_view EndFrame = "\r\n/ErrorMsgED\r\n";
// What follows every time stamp: it marks where a record begins even inside damaged bytes.
constexpr std::string_view StartMarker = "] \r\nErrorMsgST/\r\n";
constexpr std::size_t DamagedTimeLimit = 64;

// Where the next record begins at or after from: the last "[" on the line of a start marker
// (a time stamp the dialer writes holds none), or npos.
std::size_t NextRecordStart(std::string_view bytes, std::size_t from)
{
    for (std::size_t marker = bytes.find(StartMarker, from); marker != std::string_view::npos;
         marker = bytes.find(StartMarker, marker + 1)) {
        const std::size_t open = bytes.find_last_of("[\r\n", marker);
        if (open != std::string_view::npos && open >= from && bytes[open] == '[')
            return open;
    }
    return std::string_view::npos;
}

// One damaged stretch, shown by what can still be told of it: its time stamp and what follows its
// start line when it began as a record, otherwise its first bytes up to a CR in place of a time.
TLogRecord DamagedRecord(std::string_view stretch)
{
    TLogRecord record;
    record.Truncated = true;
    record.Length = stretch.size();
    const std::size_t timeEnd = stretch.find(TimeEnd);
    if (stretch.front() != '[' || timeEnd == std::string_view::npos) {
        record.Time = std::string(stretch.substr(stretch.front() == '[' ? 1 : 0, stretch.find('\r')));
        if (record.Time.size() > DamagedTimeLimit)
            record.Time.resize(DamagedTimeLimit);
        return record;
    }
    record.Time = std::string(stretch.substr(1, timeEnd - 1));
    const std::size_t at = timeEnd + TimeEnd.size();
    if (stretch.substr(at, StartLine.size()) == StartLine)
        record.Body = std::string(stretch.substr(at + StartLine.size()));
    return record;
}

// The whole record at the start of rest: "[" time "] " CR LF "ErrorMsgST/" CR LF body CR LF
// "/ErrorMsgED" CR LF, its time on one line and no other record beginning inside its body.
[[nodiscard]] bool ParseWholeRecord(std::string_view rest, TLogRecord& record)
{
    const std::size_t timeEnd = rest.find(TimeEnd);
    if (rest.front() != '[' || timeEnd == std::string_view::npos ||
        rest.substr(0, timeEnd).find_first_of("\r\n") != std::string_view::npos)
        return false;
    const std::size_t bodyStart = timeEnd + TimeEnd.size() + StartLine.size();
    if (rest.substr(timeEnd + TimeEnd.size(), StartLine.size()) != StartLine)
        return false;
    const std::size_t bodyEnd = rest.find(EndFrame, bodyStart);
    if (bodyEnd == std::string_view::npos)
        return false;
    const std::size_t nextMarker = rest.find(StartMarker, bodyStart);
    if (nextMarker != std::string_view::npos && nextMarker < bodyEnd)
        return false;
    record.Time = std::string(rest.substr(1, timeEnd - 1));
    record.Body = std::string(rest.substr(bodyStart, bodyEnd - bodyStart));
    record.Length = bodyEnd + EndFrame.size();
    return true;
}

}  // namespace

std::vector<TLogRecord> ParseLogRecords(std::string_view bytes)
{
    std::vector<TLogRecord> records;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::string_view rest = bytes.substr(pos);
        TLogRecord record;
        if (!ParseWholeRecord(rest, record)) {
            const std::size_t next = NextRecordStart(rest, 1);
            record = DamagedRecord(rest.substr(0, next));
        }
        pos += record.Length;
        records.push_back(std::move(record));
    }
    return records;
}
