#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Exceptions.h"
#include "rtl/StringList.h"
#include "support/TestSupport.h"

namespace {

using TItems = std::vector<std::u16string>;

TStringList ListOf(const TItems& items, char16_t delimiter = u' ', bool strict = false)
{
    TStringList list;
    for (const auto& item : items)
        list.Add(item);
    list.Delimiter = delimiter;
    list.StrictDelimiter = strict;
    return list;
}

template <typename TTexts>
std::string ShowTexts(const TTexts& items)
{
    std::string out = "[";
    for (const auto& item : items) {
        out += '<';
        out += TestSupport::U8(item);
        out += '>';
    }
    return out + "]";
}

std::string Show(const TItems& items)
{
    return ShowTexts(items);
}

// The list's own items (a braced list of texts takes the overload above).
template <typename TText>
std::string Show(const std::vector<TText>& items)
{
    return ShowTexts(items);
}

struct TWriterCase {
    const char* Name;
    TItems Items;
    bool Strict;
    std::u16string Expected;
};

class DelimitedTextWriter : public testing::TestWithParam<TWriterCase> {};

TEST_P(DelimitedTextWriter, WritesItemsQuotedWhereNeeded)
{
    const TWriterCase& c = GetParam();
    EXPECT_EQ(TestSupport::U8(ListOf(c.Items, u' ', c.Strict).DelimitedText()), TestSupport::U8(c.Expected))
        << Show(c.Items);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DelimitedTextWriter,
    testing::Values(TWriterCase{"EmptyList", {}, false, u""}, TWriterCase{"OneEmptyItem", {u""}, false, u"\"\""},
                    TWriterCase{"ItemWithSpaceQuoted", {u"a", u"b c"}, false, u"a \"b c\""},
                    TWriterCase{"QuoteDoubled", {u"d\"e"}, false, u"\"d\"\"e\""},
                    TWriterCase{"CommaQuotes", {u"x,y"}, false, u"\"x,y\""},
                    TWriterCase{"EmptyItemAmongOthersQuoted", {u"a", u"", u"b"}, false, u"a \"\" b"},
                    TWriterCase{"LeadingAndTrailingSpacesAndTabs",
                                {u" lead", u"trail ", u"t\tab"},
                                false,
                                u"\" lead\" \"trail \" \"t\tab\""},
                    TWriterCase{"ControlCharacterQuotes",
                                {u"c\x01"
                                 u"d"},
                                false,
                                u"\"c\x01"
                                u"d\""},
                    TWriterCase{"ScanStopsAtNul", {std::u16string(u"n\0 x", 4)}, false, std::u16string(u"n\0 x", 4)},
                    TWriterCase{"NonAsciiUnquoted", {u"パスワード", u"é"}, false, u"パスワード é"},
                    TWriterCase{"StrictLeavesTabsUnquoted", {u"t\tab", u"u"}, true, u"t\tab u"},
                    TWriterCase{"StrictStillQuotesDelimiter", {u"b c"}, true, u"\"b c\""}),
    [](const testing::TestParamInfo<TWriterCase>& info) { return std::string(info.param.Name); });

struct TReaderCase {
    const char* Name;
    std::u16string Text;
    bool Strict;
    TItems Expected;
};

class CommaTextReader : public testing::TestWithParam<TReaderCase> {};

TEST_P(CommaTextReader, ReadsItems)
{
    const TReaderCase& c = GetParam();
    TStringList list = ListOf({u"stale"}, u' ', c.Strict);
    list.SetCommaText(c.Text);
    EXPECT_EQ(Show(list.Items()), Show(c.Expected)) << TestSupport::U8(c.Text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommaTextReader,
    testing::Values(TReaderCase{"Empty", u"", false, {}}, TReaderCase{"OnlyBlanks", u" \t ", false, {}},
                    TReaderCase{"QuotedItemWithSpace", u"a \"b c\"", false, {u"a", u"b c"}},
                    TReaderCase{"DoubledQuote", u"\"d\"\"e\"", false, {u"d\"e"}},
                    TReaderCase{"CommaSeparates", u"x,y", false, {u"x", u"y"}},
                    TReaderCase{"RunOfSpacesIsOneSeparator", u"a  b", false, {u"a", u"b"}},
                    TReaderCase{"TwoQuotesAreOneEmptyItem", u"\"\"", false, {u""}},
                    TReaderCase{"CommasAndSpacesMixed", u"a,b , c", false, {u"a", u"b", u"c"}},
                    TReaderCase{"TrailingCommaAddsEmptyItem", u"a,b,", false, {u"a", u"b", u""}},
                    TReaderCase{"CommaThenBlanksAddsNothing", u"a,b,  ", false, {u"a", u"b"}},
                    TReaderCase{"LeadingCommaGivesEmptyItem", u",a", false, {u"", u"a"}},
                    TReaderCase{"TwoCommasGiveEmptyItem", u"a,,b", false, {u"a", u"", u"b"}},
                    TReaderCase{"UnclosedQuoteRunsToEnd", u"\"open  end", false, {u"open  end"}},
                    TReaderCase{"TextAfterClosingQuoteStartsNextItem", u"\"ab\"cd", false, {u"ab", u"cd"}},
                    TReaderCase{"NulEndsText", std::u16string(u"a\0,b", 4), false, {u"a"}},
                    TReaderCase{"LeadingControlsSkipped", u"\x01\t a", false, {u"a"}},
                    TReaderCase{"StrictKeepsBlanks", u" a b,c ", true, {u" a b", u"c "}},
                    TReaderCase{"StrictQuotedItem", u"\"x,y\",z", true, {u"x,y", u"z"}},
                    TReaderCase{"StrictTrailingComma", u"a,", true, {u"a", u""}}),
    [](const testing::TestParamInfo<TReaderCase>& info) { return std::string(info.param.Name); });

// What the parameter block relies on: the writer's text, read back, gives the items again.
struct TRoundTripCase {
    const char* Name;
    TItems Items;
};

void PrintTo(const TRoundTripCase& c, std::ostream* os)
{
    *os << Show(c.Items);
}

class DelimitedTextRoundTrip : public testing::TestWithParam<TRoundTripCase> {};

TEST_P(DelimitedTextRoundTrip, ReadsBackUnchanged)
{
    const TStringList written = ListOf(GetParam().Items);
    TStringList read;
    read.SetCommaText(written.DelimitedText());
    EXPECT_EQ(Show(read.Items()), Show(GetParam().Items));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DelimitedTextRoundTrip,
    testing::Values(TRoundTripCase{"NoItems", {}}, TRoundTripCase{"OneEmptyItem", {u""}},
                    TRoundTripCase{"BlankInsideItem", {u"a", u"b c"}}, TRoundTripCase{"QuoteInsideItem", {u"d\"e"}},
                    TRoundTripCase{"EdgeBlanksTabAndQuotes", {u" lead", u"trail ", u"t\tab", u"\"", u"\"\""}},
                    TRoundTripCase{
                        "DialItems",
                        {u"C:\\Phone Book\\rasphone.pbk", u"Office VPN", u"user", u"p@ss w\"rd", u"10.0.0.1"}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(StringList, KeepsEmptyItemAmongOthersAndItemWithComma)
{
    TStringList read;
    read.SetCommaText(ListOf({u"a", u"", u"b", u"x,y"}).DelimitedText());
    EXPECT_EQ(Show(read.Items()), Show({u"a", u"", u"b", u"x,y"}));
}

TEST(StringList, CommaTextKeepsOwnDelimiterAndQuote)
{
    TStringList list;
    list.Delimiter = u';';
    list.QuoteChar = u'\'';
    list.SetCommaText(u"'a' \"b\"");
    EXPECT_EQ(Show(list.Items()), Show({u"'a'", u"b"}));
    EXPECT_EQ(list.Delimiter, u';');
    EXPECT_EQ(list.QuoteChar, u'\'');
}

TEST(StringList, GetOutsideListRaisesIndexMessage)
{
    const TStringList list = ListOf({u"a", u"b", u"c"});
    EXPECT_EQ(list.Get(2), u"c");
    for (const int index : {3, -1}) {
        try {
            list.Get(index);
            FAIL() << "no exception for index " << index;
        } catch (const Exception& e) {
            EXPECT_EQ(TestSupport::U8(e.Message()),
                      "リストのインデックスが範囲を超えています (" + std::to_string(index) + ")");
        }
    }
}

TEST(StringList, AssignTakesItemsQuoteAndStrictButNotDelimiter)
{
    TStringList source = ListOf({u"a", u"b"}, u';', true);
    source.QuoteChar = u'\'';
    TStringList copy = ListOf({u"old"}, u' ');
    copy.Assign(source);
    EXPECT_EQ(Show(copy.Items()), Show({u"a", u"b"}));
    EXPECT_EQ(copy.QuoteChar, u'\'');
    EXPECT_TRUE(copy.StrictDelimiter);
    EXPECT_EQ(copy.Delimiter, u' ');
}

}  // namespace
