#pragma once
// Splits the bytes of an error log into its records. Knows only the record frame; what the body
// means is decided by the reader.

#include <string>
#include <string_view>
#include <vector>

struct TLogRecord {
    std::string Time;  // the time stamp between "[" and "] "
    std::string Body;  // the ASCII body between the frame lines
    bool Truncated = false;  // the file ends inside this record (or holds bytes that frame nothing)
};

// Every record in order. A record cut short ends the list with Truncated set; what follows a
// damaged frame cannot be told apart from it, so it ends the list too. Never fails: any bytes
// are a (possibly empty) list.
std::vector<TLogRecord> ParseLogRecords(std::string_view bytes);
