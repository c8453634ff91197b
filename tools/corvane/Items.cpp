#include "tools/corvane/Items.h"

#include "launch/LaunchFailure.h"
#include "launch/ParamsBlock.h"
#include "tools/corvane/Cli.h"

TStringList ItemsFromText(std::u16string_view text)
{
    TStringList items;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(u'\n', start);
        if (end == std::u16string_view::npos)
            end = text.size();
        std::u16string_view item = text.substr(start, end - start);
        if (!item.empty() && item.back() == u'\r')
            item.remove_suffix(1);
        items.Add(item);
        start = end + 1;
    }
    return items;
}

TStringList ReadItems(const std::optional<std::u16string>& itemsFile)
{
    const TSecureBytes bytes = itemsFile ? ReadFileBytes(*itemsFile) : ReadStandardInput();
    return ItemsFromText(DecodeText(bytes, itemsFile ? "the items file" : "standard input"));
}

std::u16string MakeBlockForTool(const TStringList& items, const TLocalDateTime& moment)
{
    try {
        return MakeCheckedBlock(items, moment);
    } catch (const ELaunchFailure& e) {
        throw EToolFailure{e.what()};
    }
}
