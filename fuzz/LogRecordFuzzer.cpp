// The error-log record parser on arbitrary bytes: only the last record may be cut short, and the
// complete records, framed again, give back exactly the bytes they were read from.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "LogRecordParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto records = ParseLogRecords(bytes);

    std::string framed;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const TLogRecord& record = records[i];
        if (record.Truncated) {
            if (i + 1 != records.size())
                std::abort();
            break;
        }
        framed += "[" + record.Time + "] \r\nErrorMsgST/\r\n" + record.Body + "\r\n/ErrorMsgED\r\n";
    }
    if (bytes.substr(0, framed.size()) != framed)
        std::abort();
    // Nothing is left over unless a cut-short record says so.
    if (framed.size() != size && (records.empty() || !records.back().Truncated))
        std::abort();
    return 0;
}
