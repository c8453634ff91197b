#include "rasapi/Phonebook.h"

namespace {

bool IsBlank(char c) noexcept
{
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) noexcept
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

char LowerAscii(char c) noexcept
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

// Hands out the text line by line, without the line ends.
class TLineReader {
public:
    explicit TLineReader(std::string_view text) noexcept : FRest(text)
    {
        constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
        if (FRest.substr(0, byteOrderMark.size()) == byteOrderMark)
            FRest.remove_prefix(byteOrderMark.size());
    }

    bool Next(std::string_view& line) noexcept
    {
        if (FDone)
            return false;
        const std::size_t end = FRest.find('\n');
        if (end == std::string_view::npos) {
            line = FRest;
            FDone = true;
        } else {
            line = FRest.substr(0, end);
            FRest.remove_prefix(end + 1);
        }
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        return true;
    }

private:
    std::string_view FRest;
    bool FDone = false;
};

bool IsSectionHeader(std::string_view line) noexcept
{
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

}  // namespace

TPhonebookEntry FindPhonebookEntry(std::string_view phonebookText, std::string_view entryName)
{
    TPhonebookEntry entry;
    TLineReader reader(phonebookText);
    bool inEntry = false;
    std::string_view line;
    while (reader.Next(line)) {
        line = Trim(line);
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        if (IsSectionHeader(line)) {
            if (inEntry)
                break;  // only the first section of the name counts
            inEntry = Trim(line.substr(1, line.size() - 2)) == entryName;
            if (inEntry)
                entry.Lookup = TPhonebookLookup::CommandMissing;
            continue;
        }
        if (!inEntry)
            continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || !EqualsIgnoringAsciiCase(Trim(line.substr(0, equals)), "Command"))
            continue;
        const std::string_view command = Trim(line.substr(equals + 1));
        if (!command.empty()) {
            entry.Lookup = TPhonebookLookup::Found;
            entry.Command = std::string(command);
        }
        break;
    }
    return entry;
}

std::vector<std::string> SplitCommandWords(std::string_view command)
{
    // A word with a zero byte in it would reach the program cut short.
    if (command.find('\0') != std::string_view::npos)
        return {};
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (const char c : command) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && IsBlank(c)) {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word.push_back(c);
            inWord = true;
        }
    }
    if (quoted)
        return {};
    if (inWord)
        words.push_back(std::move(word));
    return words;
}
