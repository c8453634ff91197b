#include "tools/corvane/LogRecordParser.h"

#include <algorithm>

namespace {

constexpr std::string_view TimeEnd = "] \r\n";
constexpr std::string_view StartLine = "ErrorMsgST/\r\n";
constexpr std::string_view EndFrame = "\r\n/ErrorMsgED\r\n";
// What follows every time stamp: it marks where a record begins even inside damaged bytes.
constexpr std::string_view StartMarker = "] \r\nErrorMsgST/\r\n";
constexpr std::size_t DamagedTimeLimit = 64;

// The first place of a needle at or after a position. The parser's questions mostly move forward,
// so the answer found last is kept: asked from a position between the last search's start and its
// answer, that answer stands, and every byte is searched about once however many records ask.
// Without it a file of damaged records, each asking where the next end frame is, was searched to
// its end for every one of them.
class TForwardFinder {
public:
    TForwardFinder(std::string_view bytes, std::string_view needle) noexcept : FBytes(bytes), FNeedle(needle) {}

    std::size_t From(std::size_t from)
    {
        if (!FSearched || from < FFrom || (FFound != std::string_view::npos && FFound < from)) {
            FFound = FBytes.find(FNeedle, from);
            FFrom = from;
            FSearched = true;
        }
        return FFound;
    }

private:
    std::string_view FBytes;
    std::string_view FNeedle;
    std::size_t FFrom = 0;
    std::size_t FFound = std::string_view::npos;
    bool FSearched = false;
};

// Where the time stamp of a record beginning at open ends (the "]" of "] " CR LF), or npos when
// the time does not end so on its own line: it runs into a line break without that ending, or
// into a "[", where a time torn by a short write is followed by the next record. Looks no further
// than the first of those, so it never reads past the next record's start.
std::size_t TimeStampEnd(std::string_view bytes, std::size_t open)
{
    const std::size_t stop = bytes.find_first_of("[\r\n", open + 1);
    if (stop == std::string_view::npos || bytes[stop] != '\r' || stop < open + 3)
        return std::string_view::npos;
    const std::size_t end = stop - 2;
    return bytes.substr(end, TimeEnd.size()) == TimeEnd ? end : std::string_view::npos;
}

// Where the next record begins at or after from: the last "[" on the line of a start marker
// (a time stamp the dialer writes holds none), or npos.
std::size_t NextRecordStart(std::string_view bytes, std::size_t from, TForwardFinder& markers)
{
    for (std::size_t marker = markers.From(from); marker != std::string_view::npos; marker = markers.From(marker + 1)) {
        const std::size_t open = bytes.find_last_of("[\r\n", marker);
        if (open != std::string_view::npos && open >= from && bytes[open] == '[')
            return open;
    }
    return std::string_view::npos;
}

// One damaged stretch, shown by what can still be told of it: its time stamp and what follows its
// start line when it began as a record, otherwise its first bytes up to a CR (not included) in place
// of a time.
TLogRecord DamagedRecord(std::string_view stretch)
{
    TLogRecord record;
    record.Truncated = true;
    record.Length = stretch.size();
    const std::size_t timeEnd = stretch.front() == '[' ? TimeStampEnd(stretch, 0) : std::string_view::npos;
    if (timeEnd == std::string_view::npos) {
        const std::size_t first = stretch.front() == '[' ? 1 : 0;
        const std::size_t lineEnd = std::min(stretch.find('\r', first), stretch.size());
        record.Time = std::string(stretch.substr(first, std::min(lineEnd - first, DamagedTimeLimit)));
        return record;
    }
    record.Time = std::string(stretch.substr(1, timeEnd - 1));
    const std::size_t at = timeEnd + TimeEnd.size();
    if (stretch.substr(at, StartLine.size()) == StartLine)
        record.Body = std::string(stretch.substr(at + StartLine.size()));
    return record;
}

// The whole record at pos: "[" time "] " CR LF "ErrorMsgST/" CR LF body CR LF "/ErrorMsgED" CR LF,
// its time on one line and no other record beginning inside its body.
[[nodiscard]] bool ParseWholeRecord(std::string_view bytes, std::size_t pos, TForwardFinder& endFrames,
                                    TForwardFinder& markers, TLogRecord& record)
{
    if (bytes[pos] != '[')
        return false;
    const std::size_t timeEnd = TimeStampEnd(bytes, pos);
    if (timeEnd == std::string_view::npos)
        return false;
    const std::size_t startLine = timeEnd + TimeEnd.size();
    if (bytes.substr(startLine, StartLine.size()) != StartLine)
        return false;
    const std::size_t bodyStart = startLine + StartLine.size();
    const std::size_t bodyEnd = endFrames.From(bodyStart);
    if (bodyEnd == std::string_view::npos)
        return false;
    const std::size_t nextMarker = markers.From(bodyStart);
    if (nextMarker != std::string_view::npos && nextMarker < bodyEnd)
        return false;
    record.Time = std::string(bytes.substr(pos + 1, timeEnd - pos - 1));
    record.Body = std::string(bytes.substr(bodyStart, bodyEnd - bodyStart));
    record.Length = bodyEnd + EndFrame.size() - pos;
    return true;
}

}  // namespace

std::vector<TLogRecord> ParseLogRecords(std::string_view bytes)
{
    std::vector<TLogRecord> records;
    TForwardFinder endFrames(bytes, EndFrame);
    TForwardFinder markers(bytes, StartMarker);
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        TLogRecord record;
        if (!ParseWholeRecord(bytes, pos, endFrames, markers, record)) {
            const std::size_t next = NextRecordStart(bytes, pos + 1, markers);
            record = DamagedRecord(bytes.substr(pos, next == std::string_view::npos ? next : next - pos));
        }
        pos += record.Length;
        records.push_back(std::move(record));
    }
    return records;
}
