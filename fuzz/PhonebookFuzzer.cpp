// The phonebook parser on arbitrary text and entry names, and the command splitter on whatever
// command it finds: a found command is never blank, and no word holds a quote or a zero byte.
//
// Input: the entry name up to the first LF, then the phonebook text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "rasapi/Phonebook.h"

namespace {

bool IsBlankText(std::string_view text)
{
    return text.find_first_not_of(" \t") == std::string_view::npos;
}

void CheckWords(std::string_view command)
{
    for (const auto& word : SplitCommandWords(command)) {
        if (word.find('\0') != std::string::npos || word.find('"') != std::string::npos)
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t newline = input.find('\n');
    const std::string_view entryName = input.substr(0, newline);
    const std::string_view phonebook =
        newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);

    const TPhonebookEntry entry = FindPhonebookEntry(phonebook, entryName);
    if (entry.Lookup == TPhonebookLookup::Found) {
        if (IsBlankText(entry.Command))
            std::abort();
        CheckWords(entry.Command);
    } else if (!entry.Command.empty()) {
        std::abort();
    }
    // The splitter on its own, with the whole input as a command.
    CheckWords(input);
    return 0;
}
