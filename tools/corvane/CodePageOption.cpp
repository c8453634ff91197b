#include "tools/corvane/Commands.h"

#include "core/Exceptions.h"
#include "platform/CodePage.h"

void TakeCodePage(TCommandArgs& args)
{
    const auto value = args.TakeValue("--code-page");
    if (!value)
        return;
    const std::string text = Utf8(*value);
    std::uint32_t codePage = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || codePage > 100000)
            throw EUsageError{"--code-page wants a number such as 932 or 1252, got \"" + text + "\""};
        codePage = codePage * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (text.empty())
        throw EUsageError{"--code-page wants a number such as 932 or 1252"};
    try {
        SetAnsiCodePage(codePage);
    } catch (const Exception&) {
        throw EUsageError{"code page " + text + " is not available on this system"};
    }
}
