#include "tools/corvane/Commands.h"
#include "tools/corvane/LogFileRead.h"
#include "tools/corvane/LogRecordView.h"

#include <cstdint>
#include <string>

#include "core/Exceptions.h"

int ReadLogCommand(TCommandArgs& args)
{
    TakeCodePage(args);
    const bool json = args.TakeFlag("--json");
    const auto files = args.TakePositionals(1, SIZE_MAX);

    int exitCode = 0;
    bool first = true;
    if (json)
        WriteOutUtf8("[");
    for (const std::u16string& file : files) {
        std::string bytes;
        try {
            bytes = ReadLogFile(file);
        } catch (const Exception& e) {
            WriteError("cannot read " + Utf8(file) + ": " + e.what());
            exitCode = 1;
            continue;
        }
        const auto records = ShowRecords(bytes);
        if (!json && files.size() > 1)
            WriteOutUtf8("# " + EscapedText(file, false) + "\n");
        for (const TShownRecord& record : records) {
            if (!IsAcceptableRecord(record))
                exitCode = 1;
            WriteOutUtf8(json ? std::string(first ? "\n  " : ",\n  ") + RecordJson(record) : RecordLine(record));
            first = false;
        }
    }
    if (json)
        WriteOutUtf8(first ? "]\n" : "\n]\n");
    return exitCode;
}
