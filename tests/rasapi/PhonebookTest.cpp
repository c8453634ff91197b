// The POSIX RAS layer's phonebook: INI sections, the Command= line, and splitting it into words.

#ifndef _WIN32

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rasapi/Phonebook.h"

namespace {

struct TLookupCase {
    const char* Name;
    const char* Text;
    const char* Entry;
    TPhonebookLookup Lookup;
    const char* Command;
};

class PhonebookLookup : public ::testing::TestWithParam<TLookupCase> {};

TEST_P(PhonebookLookup, FindsTheEntrysCommand)
{
    const TPhonebookEntry entry = FindPhonebookEntry(GetParam().Text, GetParam().Entry);
    EXPECT_EQ(entry.Lookup, GetParam().Lookup);
    EXPECT_EQ(entry.Command, GetParam().Command);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PhonebookLookup,
    ::testing::Values(
        TLookupCase{"Plain", "[office]\nCommand=nmcli connection up id office\n", "office", TPhonebookLookup::Found,
                    "nmcli connection up id office"},
        TLookupCase{"AmongOthers", "[home]\nCommand=home-up\n\n[office]\nCommand=office-up\n[lab]\nCommand=lab-up",
                    "office", TPhonebookLookup::Found, "office-up"},
        TLookupCase{"CrLfBomBlanksAndComments",
                    "\xEF\xBB\xBF; phonebook\r\n# more\r\n  [ office ]  \r\n  command =  up now  \r\n", "office",
                    TPhonebookLookup::Found, "up now"},
        TLookupCase{"NameWithSpacesAndUtf8", "[本社 VPN]\nCommand=up\n", "本社 VPN", TPhonebookLookup::Found, "up"},
        TLookupCase{"NamesMatchExactly", "[Office]\nCommand=up\n", "office", TPhonebookLookup::EntryMissing, ""},
        TLookupCase{"FirstSectionOfANameCounts", "[office]\nOther=1\n[office]\nCommand=second\n", "office",
                    TPhonebookLookup::CommandMissing, ""},
        TLookupCase{"FirstCommandCounts", "[office]\nCommand=first\nCommand=second\n", "office",
                    TPhonebookLookup::Found, "first"},
        TLookupCase{"CommandOfAnotherSectionDoesNotCount", "Command=stray\n[office]\n[home]\nCommand=home\n", "office",
                    TPhonebookLookup::CommandMissing, ""},
        TLookupCase{"BlankCommand", "[office]\nCommand=   \n", "office", TPhonebookLookup::CommandMissing, ""},
        TLookupCase{"ValueKeepsEqualsSigns", "[office]\nCommand=up --opt=a=b\n", "office", TPhonebookLookup::Found,
                    "up --opt=a=b"},
        TLookupCase{"EmptyText", "", "office", TPhonebookLookup::EntryMissing, ""},
        TLookupCase{"EmptyEntryName", "[]\nCommand=up\n", "", TPhonebookLookup::Found, "up"},
        TLookupCase{"UnclosedSectionIsNoHeader", "[office\nCommand=up\n", "office", TPhonebookLookup::EntryMissing,
                    ""}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(PhonebookLookupRobustness, AnyBytesGiveAnAnswer)
{
    // Zero bytes, lone brackets and a section that ends the text.
    const char raw[] = "[\0]\n]\n[\n=\n[office]";
    const std::string text(raw, sizeof raw - 1);
    EXPECT_EQ(FindPhonebookEntry(text, "office").Lookup, TPhonebookLookup::CommandMissing);
    EXPECT_EQ(FindPhonebookEntry(text, std::string("\0", 1)).Lookup, TPhonebookLookup::CommandMissing);
}

struct TSplitCase {
    const char* Name;
    const char* Command;
    std::vector<std::string> Words;
};

class CommandWords : public ::testing::TestWithParam<TSplitCase> {};

TEST_P(CommandWords, SplitAtBlanksWithQuotesGrouping)
{
    EXPECT_EQ(SplitCommandWords(GetParam().Command), GetParam().Words);
}

INSTANTIATE_TEST_SUITE_P(Commands, CommandWords,
                         ::testing::Values(TSplitCase{"Words",
                                                      "nmcli connection up id office",
                                                      {"nmcli", "connection", "up", "id", "office"}},
                                           TSplitCase{"RunsOfBlanks", " \tup \t  now ", {"up", "now"}},
                                           TSplitCase{"QuotedBlanks",
                                                      "nmcli connection up id \"Office VPN\"",
                                                      {"nmcli", "connection", "up", "id", "Office VPN"}},
                                           TSplitCase{"QuotesJoinWithNeighbours", "--name=\"a b\"c", {"--name=a bc"}},
                                           TSplitCase{"EmptyQuotedWord", "run \"\" end", {"run", "", "end"}},
                                           TSplitCase{"NoShellMeaning", "echo $HOME;rm *", {"echo", "$HOME;rm", "*"}},
                                           TSplitCase{"OpenQuoteRunsNothing", "up \"Office VPN", {}},
                                           TSplitCase{"Blank", "   ", {}}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(CommandWordsRobustness, ZeroByteRunsNothing)
{
    EXPECT_TRUE(SplitCommandWords(std::string("up\0rm", 5)).empty());
}

}  // namespace

#endif
