#include "Commands.h"
#include "Moment.h"

#include "CorvaneUtil.h"
#include "rtl/Exceptions.h"

namespace {

// Items one per line; a CR before the LF and the line break after the last item are not part
// of an item.
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

}  // namespace

int MakeParamsCommand(TCommandArgs& args)
{
    TakeCodePage(args);
    const auto moment = TakeMoment(args);
    const auto itemsFile = args.TakeValue("--items");
    args.TakePositionals(0, 0);

    const TSecureBytes bytes = itemsFile ? ReadFileBytes(*itemsFile) : ReadStandardInput();
    const TStringList items = ItemsFromText(DecodeUtf8(bytes, itemsFile ? "the items file" : "standard input"));

    std::u16string block;
    try {
        if (moment)
            TCorvaneUtil::EncryptParams(items, block, *moment);
        else
            TCorvaneUtil::EncryptParams(items, block);
    } catch (const Exception& e) {
        throw EToolFailure{std::string("cannot make the block: ") + e.what()};
    }
    WriteOutLine(block);
    return 0;
}

int ReadParamsCommand(TCommandArgs& args)
{
    TakeCodePage(args);
    const auto moment = TakeMoment(args);
    const std::u16string block = args.TakePositionals(1, 1).front();

    TStringList items;
    try {
        if (moment)
            TCorvaneUtil::DecryptParams(block, items, *moment);
        else
            TCorvaneUtil::DecryptParams(block, items);
    } catch (const Exception&) {
        throw EToolFailure{"block rejected: it does not decrypt and verify under the key of " +
                           std::string(moment ? "that minute" : "this minute") + " or the minute before"};
    }
    for (const std::u16string& item : items.Items())
        WriteOutLine(item);
    return 0;
}
