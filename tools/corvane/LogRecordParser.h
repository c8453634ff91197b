#pragma once
// Splits the bytes of an error log into its records. Knows only the record frame; what the body
// means is decided by the reader.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct TLogRecord {
    std::string Time;  // the time stamp between "[" and "] "
    std::string Body;  // the ASCII body between the frame lines
    // The bytes here frame no whole record: a record cut short (by the end of the file, or torn by
    // a write that fell short before the next record began), or bytes that frame nothing.
    bool Truncated = false;
    std::size_t Length = 0;  // how many bytes of the log this entry covers
};

// Every record in order. Each damaged stretch is one entry with Truncated set, running up to the
// next place where a record begins (a "[" whose line ends "] " and is followed by the start line),
// and the whole records after it are read on as usual. A time stamp is one line holding no "[":
// a time torn by a short write and followed straight by the next record is damaged, not part of
// that record. Never fails: any bytes are a (possibly empty) list, whose entries' lengths add up
// to the size of the bytes. Takes time in proportion to the size, however the bytes are damaged.
std::vector<TLogRecord> ParseLogRecords(std::string_view bytes);
