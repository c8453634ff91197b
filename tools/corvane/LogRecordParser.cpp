#include "LogRecordParser.h"

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kStartLine = "ErrorMsgST/\r\n";
constexpr std::string_view kEndFrame = "\r\n/ErrorMsgED\r\n";

}  // namespace

std::vector<TLogRecord> ParseLogRecords(std::string_view bytes)
{
    std::vector<TLogRecord> records;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        TLogRecord record;
        const std::string_view rest = bytes.substr(pos);

        // "[" time "] " CR LF
        const std::size_t timeEnd = rest.find("] \r\n");
        if (rest.front() != '[' || timeEnd == std::string_view::npos) {
            record.Time = std::string(rest.substr(rest.front() == '[' ? 1 : 0, rest.find('\r')));
            if (record.Time.size() > 64)
                record.Time.resize(64);
            record.Truncated = true;
            records.push_back(std::move(record));
            break;
        }
        record.Time = std::string(rest.substr(1, timeEnd - 1));
        std::size_t at = timeEnd + 2 + kCrLf.size();

        // "ErrorMsgST/" CR LF body CR LF "/ErrorMsgED" CR LF
        if (rest.substr(at, kStartLine.size()) != kStartLine) {
            record.Truncated = true;
            records.push_back(std::move(record));
            break;
        }
        at += kStartLine.size();
        const std::size_t bodyEnd = rest.find(kEndFrame, at);
        if (bodyEnd == std::string_view::npos) {
            record.Body = std::string(rest.substr(at));
            record.Truncated = true;
            records.push_back(std::move(record));
            break;
        }
        record.Body = std::string(rest.substr(at, bodyEnd - at));
        records.push_back(std::move(record));
        pos += bodyEnd + kEndFrame.size();
    }
    return records;
}
