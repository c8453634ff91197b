// Parameter blocks at a fixed moment. Arbitrary texts are refused with the one exception the
// reader raises, leaving the list as it was. Items made into a block at that moment read back
// item for item; the same block with one character replaced reads back or is refused, never more.
//
// Input: one byte of switches; then either the block text, one character per byte (bytes from
// 0x80 on stand for characters beyond Latin-1), or comma text for the items (ASCII: the block
// carries them in the ANSI code page, which need not hold more) followed by two bytes of position
// and one of replacement.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "CorvaneUtil.h"
#include "rtl/Exceptions.h"

namespace {

const TLocalDateTime Moment{2026, 3, 14, 15, 9, 26, 535};

std::u16string Ascii(const std::uint8_t* data, std::size_t size)
{
    std::u16string text;
    text.reserve(size);
    for (std::size_t i = 0; i < size; ++i)
        text.push_back(static_cast<char16_t>(data[i] & 0x7F));
    return text;
}

std::u16string Widened(const std::uint8_t* data, std::size_t size)
{
    std::u16string text;
    text.reserve(size);
    for (std::size_t i = 0; i < size; ++i)
        text.push_back(data[i] < 0x80 ? static_cast<char16_t>(data[i]) : static_cast<char16_t>(0x3000 + data[i]));
    return text;
}

// Whether the block reads; a refused block must leave the sentinel list alone.
bool Reads(const std::u16string& block, TStringList& list)
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    TStringList list;
    if ((data[0] & 1) == 0) {
        Reads(Widened(data + 1, size - 1), list);
        return 0;
    }
    if (size < 4)
        return 0;

    TStringList items;
    items.SetCommaText(Ascii(data + 1, size - 4));
    std::u16string block;
    TCorvaneUtil::EncryptParams(items, block, Moment);
    if (!Reads(block, list) || list.Items() != items.Items())
        std::abort();

    const std::size_t position = (static_cast<std::size_t>(data[size - 3]) << 8 | data[size - 2]) % block.size();
    block[position] = static_cast<char16_t>(data[size - 1]);
    Reads(block, list);
    return 0;
}
