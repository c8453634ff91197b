#include "rtl/StringList.h"

#include "core/Exceptions.h"
#include "core/ScopeExit.h"
#include "core/Text.h"

namespace {

// Characters U+0001 to U+0020: controls, tabs and spaces. U+0000 ends a text instead.
bool IsBlank(char16_t c) noexcept
{
    return c >= 0x0001 && c <= 0x0020;
}

// The text up to its first U+0000, which ends it for the reader and the writer's scan alike.
std::u16string_view UpToFirstNul(std::u16string_view text) noexcept
{
    const auto end = text.find(u'\0');
    return end == std::u16string_view::npos ? text : text.substr(0, end);
}

// The reader splits at commas whatever the list's delimiter, and skips an unquoted empty item: an
// item with a comma, or an empty one, is quoted, so that every item reads back as it was written
// (a password with a comma in it must not come back as two items).
bool NeedsQuoting(std::u16string_view item, char16_t delimiter, char16_t quote, bool strict) noexcept
{
    const std::u16string_view scanned = UpToFirstNul(item);
    if (scanned.empty())
        return true;
    for (const char16_t c : scanned) {
        if (c == quote || c == delimiter || c == u',' || (!strict && IsBlank(c)))
            return true;
    }
    return false;
}

// The length of the item quoted: its quote characters doubled, and one on either side.
std::size_t QuotedLength(std::u16string_view item, char16_t quote) noexcept
{
    std::size_t length = item.size() + 2;
    for (const char16_t c : item) {
        if (c == quote)
            ++length;
    }
    return length;
}

void AppendQuoted(TSecureText& out, std::u16string_view item, char16_t quote)
{
    out.push_back(quote);
    for (const char16_t c : item) {
        if (c == quote)
            out.push_back(quote);
        out.push_back(c);
    }
    out.push_back(quote);
}

}  // namespace

const TSecureText& TStringList::Get(int index) const
{
    if (index < 0 || index >= Count())
        throw Exception(u"リストのインデックスが範囲を超えています (" + IntToStr(index) + u")");
    return FItems[static_cast<std::size_t>(index)];
}

void TStringList::Assign(const TStringList& other)
{
    if (&other == this)
        return;
    FItems = other.FItems;
    QuoteChar = other.QuoteChar;
    StrictDelimiter = other.StrictDelimiter;
}

TSecureText TStringList::DelimitedText() const
{
    if (FItems.empty())
        return {};

    auto quoted = [this](const TSecureText& item) { return NeedsQuoting(item, Delimiter, QuoteChar, StrictDelimiter); };

    // Sized up front, so the text is written once and never moved while it grows.
    std::size_t length = FItems.size() - 1;
    for (const TSecureText& item : FItems)
        length += quoted(item) ? QuotedLength(item, QuoteChar) : item.size();

    TSecureText out;
    out.reserve(length);
    for (std::size_t i = 0; i < FItems.size(); ++i) {
        if (i != 0)
            out.push_back(Delimiter);
        if (quoted(FItems[i]))
            AppendQuoted(out, FItems[i], QuoteChar);
        else
            out += FItems[i];
    }
    return out;
}

void TStringList::SetCommaText(std::u16string_view text)
{
    // The list's own delimiter and quote character come back however reading ends.
    const TScopeExit restoreDelimiters([this, delimiter = Delimiter, quoteChar = QuoteChar] {
        Delimiter = delimiter;
        QuoteChar = quoteChar;
    });
    Delimiter = u',';
    QuoteChar = u'"';

    const std::u16string_view source = UpToFirstNul(text);
    const std::size_t length = source.size();
    std::size_t pos = 0;
    auto skipBlanks = [&] {
        if (StrictDelimiter)
            return;
        while (pos < length && IsBlank(source[pos]))
            ++pos;
    };

    std::vector<TSecureText> items;
    skipBlanks();
    while (pos < length) {
        TSecureText item;
        if (source[pos] == QuoteChar) {
            ++pos;
            while (pos < length) {
                if (source[pos] == QuoteChar) {
                    if (pos + 1 < length && source[pos + 1] == QuoteChar) {
                        item.push_back(QuoteChar);
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                item.push_back(source[pos++]);
            }
        } else {
            const std::size_t start = pos;
            while (pos < length && source[pos] != Delimiter && (StrictDelimiter || !IsBlank(source[pos])))
                ++pos;
            item.assign(source.substr(start, pos - start));
        }
        items.push_back(std::move(item));

        skipBlanks();
        if (pos < length && source[pos] == Delimiter) {
            // A comma that ends the text stands for one more, empty, item.
            if (pos + 1 == length)
                items.emplace_back();
            ++pos;
            skipBlanks();
        }
    }
    FItems = std::move(items);
}
