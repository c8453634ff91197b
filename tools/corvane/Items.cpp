#include "Items.h"

#include "Cli.h"

TStringList ItemsFromText(const std::u16string& text)
{
    TStringList items;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos)
            end = text.size();
        std::u16string item = text.substr(start, end - start);
        if (!item.empty() && item.back() == u'\r')
            item.pop_back();
        items.Add(std::move(item));
        start = end + 1;
    }
    return items;
}

TStringList ReadItems(const std::optional<std::u16string>& itemsFile)
{
    const TSecureBytes bytes = itemsFile ? ReadFileBytes(*itemsFile) : ReadStandardInput();
    return ItemsFromText(DecodeText(bytes, itemsFile ? "the items file" : "standard input"));
}
