#include "Commands.h"
#include "LogRecordParser.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "CorvaneUtil.h"
#include "rtl/Exceptions.h"
#include "rtl/Text.h"

namespace {

// The body that stands for a failed encryption: its fifteen Japanese characters written as ASCII.
constexpr std::string_view kFallbackBody = "???????????????";

struct TReadRecord {
    std::string Time;
    std::string Status;
    std::u16string Message;
};

bool IsBase64Body(const std::string& body)
{
    if (body.empty())
        return false;
    for (unsigned char c : body) {
        const bool alphabet = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                              c == '+' || c == '/' || c == '=';
        if (!alphabet)
            return false;
    }
    return true;
}

TReadRecord Classify(const TLogRecord& record)
{
    TReadRecord result{record.Time, "", WidenAscii(record.Body)};
    if (record.Truncated) {
        result.Status = "truncated";
    } else if (record.Body == kFallbackBody) {
        result.Status = "fallback";
    } else if (!IsBase64Body(record.Body)) {
        result.Status = "plain";
    } else {
        std::u16string plain;
        if (!TCorvaneUtil::Decrypt(result.Message, std::u16string(TCorvaneUtil::ErrorLogKey), plain)) {
            result.Status = "undecryptable";
        } else {
            // Digest (32 characters) followed by the message.
            const std::u16string digest = plain.substr(0, 32);
            result.Message = plain.size() > 32 ? plain.substr(32) : std::u16string();
            result.Status = digest == TCorvaneUtil::GetHashMD5String(result.Message) ? "ok" : "digest-mismatch";
        }
    }
    return result;
}

bool Acceptable(const TReadRecord& record)
{
    return record.Status == "ok" || record.Status == "plain" || record.Status == "fallback";
}

// The escape of a character that cannot stand as it is: line breaks and other control characters
// (so each record stays on one line), the backslash, and in JSON the double quote.
std::string EscapeSpecial(char16_t c, bool json)
{
    switch (c) {
    case u'\\': return "\\\\";
    case u'\r': return "\\r";
    case u'\n': return "\\n";
    case u'\t': return "\\t";
    case u'"': return json ? "\\\"" : "\"";
    default: {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
        return buffer;
    }
    }
}

bool IsSpecial(char16_t c)
{
    return c < 0x20 || c == u'\\' || c == u'"';
}

// UTF-8 of the text with its special characters escaped; the runs between them are converted
// whole, so surrogate pairs stay together.
std::string Escaped(const std::u16string& text, bool json)
{
    std::string out;
    std::size_t runStart = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !IsSpecial(text[i]))
            continue;
        out += Utf8(std::u16string_view(text).substr(runStart, i - runStart));
        if (i < text.size())
            out += EscapeSpecial(text[i], json);
        runStart = i + 1;
    }
    return out;
}

}  // namespace

int ReadLogCommand(TCommandArgs& args)
{
    TakeCodePage(args);
    const bool json = args.TakeFlag("--json");
    const auto files = args.TakePositionals(1, SIZE_MAX);

    int exitCode = 0;
    bool first = true;
    if (json)
        WriteOut(u"[");
    for (const std::u16string& file : files) {
        TSecureBytes bytes;
        try {
            bytes = ReadFileBytes(file);
        } catch (const EToolFailure& failure) {
            WriteError(failure.Message);
            exitCode = 1;
            continue;
        }
        const auto records = ParseLogRecords(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        if (!json && files.size() > 1)
            WriteOutLine(u"# " + file);
        for (const TLogRecord& record : records) {
            const TReadRecord read = Classify(record);
            if (!Acceptable(read))
                exitCode = 1;
            std::string line;
            if (json) {
                line = std::string(first ? "\n" : ",\n") + "  {\"time\": \"" +
                       Escaped(WidenAscii(read.Time), true) + "\", \"status\": \"" + read.Status +
                       "\", \"message\": \"" + Escaped(read.Message, true) + "\"}";
            } else {
                line = read.Time + "\t" + read.Status + "\t" + Escaped(read.Message, false) + "\n";
            }
            std::fwrite(line.data(), 1, line.size(), stdout);
            first = false;
        }
    }
    if (json)
        WriteOut(first ? u"]\n" : u"\n]\n");
    return exitCode;
}
