// The error-log record parser on arbitrary bytes: the entries cover the bytes exactly, in order,
// and every whole record, framed again, gives back exactly the bytes it was read from.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/corvane/LogRecordParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto records = ParseLogRecords(bytes);

    std::size_t at = 0;
    for (const TLogRecord& record : records) {
        if (record.Length == 0 || record.Length > size - at)
            std::abort();
        if (!record.Truncated) {
            const std::string framed =
                "[" + record.Time + "] \r\nErrorMsgST/\r\n" + record.Body + "\r\n/ErrorMsgED\r\n";
            if (bytes.substr(at, record.Length) != framed)
                std::abort();
        }
        at += record.Length;
    }
    if (at != size)
        std::abort();
    return 0;
}
