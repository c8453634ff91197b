#pragma once
#include <string>
#include <string_view>
#include <vector>

// An ordered list of texts (not sorted, duplicates kept) with a delimiter, a quote character
// and a strict-delimiter switch, as the parameter block writes and reads it.
class TStringList {
public:
    TStringList() = default;

    int Count() const noexcept { return static_cast<int>(FItems.size()); }
    // Raises Exception "リストのインデックスが範囲を超えています (<index>)" for an index outside the list.
    const std::u16string& Get(int index) const;
    void Add(std::u16string item) { FItems.push_back(std::move(item)); }
    void Clear() noexcept { FItems.clear(); }
    const std::vector<std::u16string>& Items() const noexcept { return FItems; }

    // Takes the other list's items, quote character and strict-delimiter setting (not its
    // delimiter).
    void Assign(const TStringList& other);

    // The items joined by the delimiter, quoted where needed.
    std::u16string DelimitedText() const;
    // Replaces the items by those read from comma text: commas and, unless strict, blanks
    // separate items; the double quote quotes. Delimiter and quote character are restored.
    void SetCommaText(std::u16string_view text);

    char16_t Delimiter = u',';
    char16_t QuoteChar = u'"';
    bool StrictDelimiter = false;

private:
    std::vector<std::u16string> FItems;
};
