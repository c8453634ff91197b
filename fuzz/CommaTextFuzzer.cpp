// The comma-text reader on arbitrary text, and the delimited-text writer against it: a list the
// writer wrote reads back item for item, empty items and items with commas included, unless it
// holds a U+0000 (which ends a text).
//
// The writer also runs with blanks as its delimiter, as the parameter block uses it; only without
// the strict switch, under which the reader never splits at blanks.
//
// Input: one byte of switches, then the text, one character per byte; bytes from 0x80 on stand
// for characters beyond Latin-1, so quoting meets non-ASCII too.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/FuzzText.h"
#include "rtl/StringList.h"

namespace {

bool ReadsBack(const std::vector<TSecureText>& items)
{
    return std::none_of(items.begin(), items.end(),
                        [](const TSecureText& item) { return item.find(u'\0') != TSecureText::npos; });
}

void CheckRoundTrip(TStringList& written, bool strict, char16_t delimiter)
{
    written.Delimiter = delimiter;
    const TSecureText text = written.DelimitedText();
    TStringList read;
    read.StrictDelimiter = strict;
    read.SetCommaText(text);
    if (ReadsBack(written.Items()) && read.Items() != written.Items())
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const bool strict = (data[0] & 1) != 0;
    const bool buildList = (data[0] & 2) != 0;
    const std::u16string text = Widened(data + 1, size - 1);

    TStringList list;
    list.StrictDelimiter = strict;
    if (buildList) {
        // Items separated by U+0001, which then never occurs inside one.
        std::size_t start = 0;
        for (;;) {
            const std::size_t end = text.find(u'\x01', start);
            list.Add(text.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start));
            if (end == std::u16string::npos)
                break;
            start = end + 1;
        }
    } else {
        list.SetCommaText(text);
        if (list.Delimiter != u',' || list.QuoteChar != u'"')
            std::abort();
    }
    CheckRoundTrip(list, strict, u',');
    if (!strict)
        CheckRoundTrip(list, strict, u' ');
    return 0;
}
