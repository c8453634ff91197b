#pragma once
// How the records of an error log are shown: each record's status after decryption and check,
// and its line of text or JSON object. Logs come from users' machines, so no byte of the file
// reaches the output as it stands: control characters are escaped in every field, and bytes that
// are not text as \xNN (in JSON as \u00NN). Shared by read-log and dial.

#include <string>
#include <string_view>
#include <vector>

#include "tools/corvane/LogRecordParser.h"

struct TShownRecord {
    std::string Time;  // the time stamp's bytes, as the file holds them
    // ok, digest-mismatch, undecryptable, fallback, plain; truncated for a record that the file
    // ends inside, damaged for a stretch of bytes that frames no whole record but is followed by one
    std::string Status;
    std::u16string Message;  // the decrypted message (Status ok or digest-mismatch)
    std::string RawBody;     // otherwise: the body's bytes, as the file holds them
    bool Decrypted = false;
};

// Never fails: a body that cannot be decrypted or decoded is a status, not an error.
TShownRecord ShowRecord(const TLogRecord& record);
// The records of a log's bytes, in order; each damaged stretch is one of them.
std::vector<TShownRecord> ShowRecords(std::string_view logBytes);

// Whether the record counts as readable: ok, plain or fallback.
bool IsAcceptableRecord(const TShownRecord& record);

// "time<TAB>status<TAB>message" and a line feed.
std::string RecordLine(const TShownRecord& record);
// {"time": "...", "status": "...", "message": "..."}
std::string RecordJson(const TShownRecord& record);

// UTF-8 of a text with line breaks, control characters and the backslash escaped (and in JSON
// the double quote), so it stays on one line and cannot drive a terminal.
std::string EscapedText(std::u16string_view text, bool json);
// The same for bytes meant to be ASCII: a byte of 0x80 or more is escaped as \xNN (JSON: \u00NN).
std::string EscapedBytes(std::string_view bytes, bool json);
