#include "tools/corvane/LogRecordView.h"

#include <cstdio>

#include "CorvaneUtil/CorvaneUtil.h"
#include "core/Text.h"
#include "tools/corvane/Cli.h"

namespace {

// The body that stands for a failed encryption: its fifteen Japanese characters written as ASCII.
constexpr std::string_view FallbackBody = "???????????????";

bool IsBase64Body(std::string_view body)
{
    if (body.empty())
        return false;
    for (unsigned char c : body) {
        const bool alphabet = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
                              c == '/' || c == '=';
        if (!alphabet)
            return false;
    }
    return true;
}

// C0 controls, DEL and the C1 controls (which some terminals obey as escape sequences too), the
// backslash, and the double quote that JSON must escape.
bool IsSpecial(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == u'\\' || c == u'"';
}

std::string EscapeSpecial(char16_t c, bool json)
{
    switch (c) {
        case u'\\':
            return "\\\\";
        case u'\r':
            return "\\r";
        case u'\n':
            return "\\n";
        case u'\t':
            return "\\t";
        case u'"':
            return json ? "\\\"" : "\"";
        default: {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
            return buffer;
        }
    }
}

}  // namespace

std::string EscapedText(std::u16string_view text, bool json)
{
    // The runs between special characters are converted whole, so surrogate pairs stay together.
    std::string out;
    std::size_t runStart = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !IsSpecial(text[i]))
            continue;
        out += Utf8(text.substr(runStart, i - runStart));
        if (i < text.size())
            out += EscapeSpecial(text[i], json);
        runStart = i + 1;
    }
    return out;
}

std::string EscapedBytes(std::string_view bytes, bool json)
{
    std::string out;
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        if (value >= 0x80) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, json ? "\\u%04x" : "\\x%02x", static_cast<unsigned>(value));
            out += buffer;
        } else if (IsSpecial(value)) {
            out += EscapeSpecial(value, json);
        } else {
            out += byte;
        }
    }
    return out;
}

TShownRecord ShowRecord(const TLogRecord& record)
{
    TShownRecord shown{record.Time, "", u"", record.Body, false};
    if (record.Truncated) {
        shown.Status = "truncated";
    } else if (record.Body == FallbackBody) {
        shown.Status = "fallback";
    } else if (!IsBase64Body(record.Body)) {
        shown.Status = "plain";
    } else {
        TSecureText plain;
        if (!TCorvaneUtil::Decrypt(WidenAscii(record.Body), TCorvaneUtil::ErrorLogKey, plain)) {
            shown.Status = "undecryptable";
        } else {
            // Digest (32 characters) followed by the message, which is no secret.
            const std::u16string_view digest = plain.View().substr(0, 32);
            shown.Message = plain.size() > 32 ? std::u16string(plain.View().substr(32)) : std::u16string();
            shown.Decrypted = true;
            shown.RawBody.clear();
            shown.Status = digest == TCorvaneUtil::GetHashMD5String(shown.Message) ? "ok" : "digest-mismatch";
        }
    }
    return shown;
}

std::vector<TShownRecord> ShowRecords(std::string_view logBytes)
{
    const std::vector<TLogRecord> records = ParseLogRecords(logBytes);
    std::vector<TShownRecord> shown;
    for (std::size_t i = 0; i < records.size(); ++i) {
        shown.push_back(ShowRecord(records[i]));
        // Damage that whole records follow is no record cut short by the end of the file.
        if (records[i].Truncated && i + 1 < records.size())
            shown.back().Status = "damaged";
    }
    return shown;
}

bool IsAcceptableRecord(const TShownRecord& record)
{
    return record.Status == "ok" || record.Status == "plain" || record.Status == "fallback";
}

namespace {

std::string MessageField(const TShownRecord& record, bool json)
{
    return record.Decrypted ? EscapedText(record.Message, json) : EscapedBytes(record.RawBody, json);
}

}  // namespace

std::string RecordLine(const TShownRecord& record)
{
    return EscapedBytes(record.Time, false) + "\t" + record.Status + "\t" + MessageField(record, false) + "\n";
}

std::string RecordJson(const TShownRecord& record)
{
    return "{\"time\": \"" + EscapedBytes(record.Time, true) + "\", \"status\": \"" + record.Status +
           "\", \"message\": \"" + MessageField(record, true) + "\"}";
}
