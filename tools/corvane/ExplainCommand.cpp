#include "tools/corvane/Commands.h"
#include "tools/corvane/LogRecordView.h"

#include <cstdint>
#include <string>

#include "launch/StatusMeaning.h"

namespace {

// A decimal exit status of 32 bits (POSIX arrival statuses: 0 to 255).
std::uint32_t ParseStatus(const std::u16string& text, std::uint32_t max)
{
    std::uint64_t value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9' || value > max)
            throw EUsageError{"explain wants decimal exit statuses, got \"" + EscapedText(text, false) + "\""};
        value = value * 10 + static_cast<std::uint64_t>(c - u'0');
    }
    if (text.empty() || value > max)
        throw EUsageError{"explain wants decimal exit statuses from 0 to " + std::to_string(max) + ", got \"" +
                          EscapedText(text, false) + "\""};
    return static_cast<std::uint32_t>(value);
}

}  // namespace

int ExplainCommand(TCommandArgs& args)
{
    const bool json = args.TakeFlag("--json");
    const bool posix = args.TakeFlag("--posix");
    const auto texts = args.TakePositionals(1, SIZE_MAX);
    std::vector<std::uint32_t> statuses;
    for (const std::u16string& text : texts)
        statuses.push_back(ParseStatus(text, posix ? 255 : UINT32_MAX));

    int exitCode = 0;
    std::string out = json ? "[" : "";
    for (std::size_t i = 0; i < statuses.size(); ++i) {
        const std::uint32_t status = statuses[i];
        std::optional<std::uint32_t> dialResult = status;
        TStatusMeaning meaning;
        if (posix) {
            TPosixStatusMeaning arrival = PosixStatusMeaning(static_cast<int>(status));
            dialResult = arrival.DialResult;
            meaning = std::move(arrival.Meaning);
        } else {
            meaning = DialResultMeaning(status);
        }
        if (!meaning.Known())
            exitCode = 1;
        if (json) {
            out += std::string(i == 0 ? "\n  " : ",\n  ") + "{\"status\": " + std::to_string(status);
            if (posix)
                out += ", \"dialResult\": " + (dialResult ? std::to_string(*dialResult) : std::string("null"));
            out +=
                ", \"meaning\": \"" + EscapedText(meaning.Text, true) + "\", \"source\": \"" + meaning.Source + "\"}";
        } else {
            out += std::to_string(status);
            if (posix && dialResult && *dialResult != status)
                out += " (dial result " + std::to_string(*dialResult) + ")";
            out += ": " + EscapedText(meaning.Text, false) + "\n";
        }
    }
    if (json)
        out += "\n]\n";
    WriteOutUtf8(out);
    return exitCode;
}
