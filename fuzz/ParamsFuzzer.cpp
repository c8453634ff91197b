// Parameter blocks read at a fixed moment, just after a new year began, so that the previous
// minute lies in the old year. Arbitrary texts are refused with the one exception the reader
// raises, leaving the list as it was. A block made in this minute or the previous one reads back
// (items made into a block item for item; a plain block of the fuzzer's own as the comma reader
// reads its list text), one made at any other minute or with a wrong digest is refused, and a
// block with one character replaced reads back or is refused, never more.
//
// Input: one byte of switches (bits 0-1 what to do, bits 2-3 the minute the block is made in:
// this one, the previous one, the one before that, the next one), then
//   0: the block text, one character per byte (bytes from 0x80 on stand for characters beyond
//      Latin-1);
//   1: comma text for the items (ASCII: the block carries them in the ANSI code page, which need
//      not hold more);
//   2: the list text of a plain block, one character per byte as in 0; switch bit 4 spoils its
//      digest;
//   3: comma text for the items, then two bytes of position and one of replacement.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "CorvaneUtil/CorvaneUtil.h"
#include "CorvaneUtil/CorvaneUtilTestAccess.h"
#include "core/Exceptions.h"
#include "fuzz/FuzzText.h"
#include "rtl/DateUtils.h"

namespace {

const TLocalDateTime Moment{2027, 1, 1, 0, 0, 26, 535};

std::u16string Ascii(const std::uint8_t* data, std::size_t size)
{
    std::u16string text;
    text.reserve(size);
    for (std::size_t i = 0; i < size; ++i)
        text.push_back(static_cast<char16_t>(data[i] & 0x7F));
    return text;
}

// Whether the block reads; a refused block must leave the sentinel list alone.
[[nodiscard]] bool Reads(const std::u16string& block, TStringList& list)
{
    list.Clear();
    list.Add(u"sentinel");
    try {
        TCorvaneUtil::DecryptParams(block, list, Moment);
        return true;
    } catch (const Exception&) {
        if (list.Count() != 1 || list.Get(0) != u"sentinel")
            std::abort();
        return false;
    }
}

// The plain block (digest and list text) under the minute key of the moment, as the launching
// program would make it.
std::u16string BlockOf(const std::u16string& plainBlock, const TLocalDateTime& madeAt)
{
    std::u16string block;
    if (!TCorvaneUtil::Encrypt(plainBlock, TCorvaneUtilTestAccess::GetMinuteKey(madeAt), block))
        std::abort();
    return block;
}

// Items made into a block at madeAt read back item for item exactly when that is this minute or
// the previous one.
void CheckItemsBlock(const std::u16string& commaText, const TLocalDateTime& madeAt, bool inWindow)
{
    TStringList items;
    items.SetCommaText(commaText);
    std::u16string block;
    TCorvaneUtil::EncryptParams(items, block, madeAt);
    TStringList list;
    if (Reads(block, list) != inWindow || (inWindow && list.Items() != items.Items()))
        std::abort();
}

// A plain block of the fuzzer's own list text reads exactly when it was made in the window and
// its digest is right, and then gives what the comma reader makes of the list text.
void CheckPlainBlock(const std::u16string& listText, bool spoiled, const TLocalDateTime& madeAt, bool inWindow)
{
    std::u16string digest = TCorvaneUtil::GetHashMD5String(listText);
    if (spoiled)
        digest[0] = digest[0] == u'0' ? u'1' : u'0';
    TStringList list;
    const bool reads = Reads(BlockOf(digest + listText, madeAt), list);
    if (reads != (inWindow && !spoiled))
        std::abort();
    if (reads) {
        TStringList expected;
        expected.SetCommaText(listText);
        if (list.Items() != expected.Items())
            std::abort();
    }
}

// A block with one character replaced reads or is refused; Reads checks the refusal.
void CheckReplacedCharacter(const std::u16string& commaText, const TLocalDateTime& madeAt, std::size_t position,
                            char16_t replacement)
{
    TStringList items;
    items.SetCommaText(commaText);
    std::u16string block;
    TCorvaneUtil::EncryptParams(items, block, madeAt);
    block[position % block.size()] = replacement;
    TStringList list;
    (void)Reads(block, list);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    static constexpr std::int64_t MinuteOffsets[] = {0, -1, -2, 1};
    const unsigned minute = (data[0] >> 2) & 3;
    const TLocalDateTime madeAt = IncMinute(Moment, MinuteOffsets[minute]);
    const bool inWindow = minute < 2;
    const std::uint8_t* rest = data + 1;
    const std::size_t restSize = size - 1;

    switch (data[0] & 3) {
        case 0: {
            TStringList list;
            // Any text: whether it reads is open, only a refusal's side effects are checked.
            (void)Reads(Widened(rest, restSize), list);
            break;
        }
        case 1:
            CheckItemsBlock(Ascii(rest, restSize), madeAt, inWindow);
            break;
        case 2:
            CheckPlainBlock(Widened(rest, restSize), (data[0] & 0x10) != 0, madeAt, inWindow);
            break;
        default:
            if (restSize >= 3)
                CheckReplacedCharacter(Ascii(rest, restSize - 3), madeAt,
                                       static_cast<std::size_t>(data[size - 3]) << 8 | data[size - 2],
                                       static_cast<char16_t>(data[size - 1]));
            break;
    }
    return 0;
}
