#include "launch/ParamsBlock.h"

#include <optional>
#include <string>

#include "CorvaneUtil/CorvaneUtil.h"
#include "core/Exceptions.h"
#include "launch/LaunchFailure.h"
#include "platform/CodePage.h"

namespace {

constexpr int ItemCount = 5;
constexpr const char* ItemNames[ItemCount] = {"the phonebook path", "the entry name", "the user name", "the password",
                                              "the phone number"};

// "item 4 (the password)": numbered as the lines of the items file. Never the item's text, which
// may be the password.
std::string ItemName(int index)
{
    std::string name = "item " + std::to_string(index + 1);
    if (index < ItemCount)
        name += std::string(" (") + ItemNames[index] + ")";
    return name;
}

// The block's text passes the ANSI code page before it is encrypted; what the code page cannot
// hold comes back as another character and the block then fails its digest.
bool SurvivesCodePage(const TSecureText& item)
{
    const TSecureBytes bytes = UnicodeToAnsi(item.View());
    return AnsiToUnicode(bytes.data(), bytes.size()) == item.View();
}

std::string WhyNotReadBack(const TSecureText& item)
{
    if (!SurvivesCodePage(item))
        return "is not representable in code page " + std::to_string(AnsiCodePage());
    return "does not read back as given";
}

[[noreturn]] void RaiseNotReadBack(const TStringList& items, int index)
{
    const TSecureText& item = items.Items()[static_cast<std::size_t>(index)];
    throw ELaunchFailure(SurvivesCodePage(item) ? TLaunchFault::NotReadBack : TLaunchFault::NotRepresentable,
                         ItemName(index) + " " + WhyNotReadBack(item) + "; no block was made");
}

}  // namespace

void CheckItems(const TStringList& items)
{
    for (int i = 0; i < items.Count(); ++i)
        if (items.Items()[static_cast<std::size_t>(i)].find(u'\0') != TSecureText::npos)
            throw ELaunchFailure(TLaunchFault::ItemHoldsNul,
                                 ItemName(i) +
                                     " holds U+0000, which ends it when the block is read (an items file in UTF-16 "
                                     "needs its byte-order mark); no block was made");
    if (items.Count() < ItemCount)
        throw ELaunchFailure(TLaunchFault::ItemMissing,
                             ItemName(items.Count()) + " is missing: a block needs five items, one per line " +
                                 "(phonebook path, entry name, user name, password, phone number), and " +
                                 std::to_string(items.Count()) + (items.Count() == 1 ? " was" : " were") +
                                 " given; no block was made");
}

std::u16string MakeCheckedBlock(const TStringList& items, const TLocalDateTime& moment)
{
    CheckItems(items);
    std::u16string block;
    try {
        TCorvaneUtil::EncryptParams(items, block, moment);
    } catch (const Exception& e) {
        throw ELaunchFailure(TLaunchFault::CannotMake, std::string("cannot make the block: ") + e.what());
    }

    TStringList readBack;
    bool read = true;
    try {
        TCorvaneUtil::DecryptParams(block, readBack, moment);
    } catch (const Exception&) {
        read = false;
    }
    // A block that fails its digest holds no items to compare: the code page is the one cause an
    // item can give, so the first item it changes is the one to name.
    if (!read) {
        for (int i = 0; i < items.Count(); ++i)
            if (!SurvivesCodePage(items.Items()[static_cast<std::size_t>(i)]))
                RaiseNotReadBack(items, i);
        throw ELaunchFailure(TLaunchFault::NotReadBack,
                             "the block just made does not read back under its own key; no block was made");
    }
    for (int i = 0; i < items.Count(); ++i)
        if (i >= readBack.Count() ||
            readBack.Items()[static_cast<std::size_t>(i)] != items.Items()[static_cast<std::size_t>(i)])
            RaiseNotReadBack(items, i);
    if (readBack.Count() != items.Count())
        throw ELaunchFailure(TLaunchFault::NotReadBack, "the block just made reads back as " +
                                                            std::to_string(readBack.Count()) + " items, not " +
                                                            std::to_string(items.Count()) + "; no block was made");
    return block;
}
