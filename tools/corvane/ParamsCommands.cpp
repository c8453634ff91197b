#include "tools/corvane/Commands.h"
#include "tools/corvane/Items.h"
#include "tools/corvane/Moment.h"

#include <string>
#include <vector>

#include "CorvaneUtil/CorvaneUtil.h"
#include "core/Exceptions.h"
#include "core/ScopeExit.h"
#include "core/SecureZero.h"

int MakeParamsCommand(TCommandArgs& args)
{
    TakeCodePage(args);
    const auto moment = TakeMoment(args);
    const auto itemsFile = args.TakeValue("--items");
    args.TakePositionals(0, 0);

    const TStringList items = ReadItems(itemsFile);
    std::u16string block = MakeBlockForTool(items, moment.value_or(LocalNow()));
    const TScopeExit wipeBlock([&block] { WipeString(block); });
    WriteOutLine(block);
    return 0;
}

int ReadParamsCommand(TCommandArgs& args)
{
    TakeCodePage(args);
    const auto moment = TakeMoment(args);
    std::vector<std::u16string> positionals = args.TakePositionals(1, 1);
    const TScopeExit wipeBlock([&positionals] { WipeString(positionals.front()); });
    const std::u16string& block = positionals.front();

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
    for (const TSecureText& item : items.Items())
        WriteOutLine(item);
    return 0;
}
