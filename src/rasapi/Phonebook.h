#pragma once
// The phonebook of the POSIX RAS layer: an INI text with one [entry name] section per entry, whose
// Command= line names the program, and its arguments, that brings the connection up.
//
//   ; comment            # comment
//   [office]
//   Command=nmcli connection up id office
//
// Lines end with LF or CR LF; a UTF-8 byte-order mark at the start is skipped. Blanks (space, tab)
// around section names, keys and values are ignored. Section names match exactly; keys match
// without regard to ASCII case. The first section of a name counts, and in it the first Command=.
// Nothing here trusts the text: any bytes give one of the results below.

#include <string>
#include <string_view>
#include <vector>

enum class TPhonebookLookup {
    Found,           // the entry has a non-blank Command= value
    EntryMissing,    // no section of that name
    CommandMissing,  // the section has no Command=, or only a blank one
};

struct TPhonebookEntry {
    TPhonebookLookup Lookup = TPhonebookLookup::EntryMissing;
    std::string Command;
};

TPhonebookEntry FindPhonebookEntry(std::string_view phonebookText, std::string_view entryName);

// Splits a command into words at blanks; double quotes group blanks into a word and are removed
// ("" alone is an empty word). Returns no words when a quote is left open, a zero byte occurs or there is no word,
// so a damaged command never runs half of itself.
std::vector<std::string> SplitCommandWords(std::string_view command);
