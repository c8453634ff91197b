#pragma once
#include <string_view>
#include <vector>

#include "core/SecureText.h"

// An ordered list of texts (not sorted, duplicates kept) with a delimiter, a quote character
// and a strict-delimiter switch, as the parameter block writes and reads it. The items are
// passwords among others: they, and every text made of them, wipe themselves. Nothing here fails
// but Get (below) and memory.
class TStringList {
public:
    TStringList() = default;

    int Count() const noexcept { return static_cast<int>(FItems.size()); }
    // Raises Exception "リストのインデックスが範囲を超えています (<index>)" for an index outside the list.
    const TSecureText& Get(int index) const;
    void Add(TSecureText item) { FItems.push_back(std::move(item)); }
    void Add(std::u16string_view item) { FItems.emplace_back(item); }
    void Clear() noexcept { FItems.clear(); }
    const std::vector<TSecureText>& Items() const noexcept { return FItems; }

    // Takes the other list's items, quote character and strict-delimiter setting (not its
    // delimiter).
    void Assign(const TStringList& other);

    // The items joined by the delimiter, quoted where needed.
    TSecureText DelimitedText() const;
    // Replaces the items by those read from comma text: commas and, unless strict, blanks
    // separate items; the double quote quotes. Delimiter and quote character are restored.
    void SetCommaText(std::u16string_view text);

    char16_t Delimiter = u',';
    char16_t QuoteChar = u'"';
    bool StrictDelimiter = false;

private:
    std::vector<TSecureText> FItems;
};
