#include "launch/LaunchTesting.h"

namespace LaunchTesting {

std::vector<const char*> Pointers(const std::vector<std::string>& items)
{
    std::vector<const char*> pointers;
    for (const std::string& item : items)
        pointers.push_back(item.c_str());
    return pointers;
}

std::u16string TextAt(const TBytes& record, std::size_t offset)
{
    std::u16string text;
    for (std::size_t i = offset; i + 1 < record.size(); i += 2) {
        const char16_t c = static_cast<char16_t>(record[i] | record[i + 1] << 8);
        if (c == u'\0')
            break;
        text.push_back(c);
    }
    return text;
}

TMade Make(const std::vector<std::string>& items, std::uint32_t codePage, const corvane_minute* at)
{
    const std::vector<const char*> pointers = Pointers(items);
    std::size_t size = 0;
    int result = corvane_make_block(pointers.data(), pointers.size(), codePage, at, nullptr, &size);
    if (result != CORVANE_E_BUFFER_TOO_SMALL)
        return {result, {}};
    std::string block(size, '\x7F');
    result = corvane_make_block(pointers.data(), pointers.size(), codePage, at, block.data(), &size);
    if (result != CORVANE_OK)
        return {result, {}};
    // The size counts the NUL, which ends the text.
    if (size == 0 || block.size() != size || block[size - 1] != '\0')
        return {CORVANE_E_INTERNAL, {}};
    block.resize(size - 1);
    return {CORVANE_OK, block};
}

TRead Read(const std::string& block, std::uint32_t codePage, const corvane_minute* at)
{
    std::size_t size = 0;
    std::size_t count = 0;
    int result = corvane_read_block(block.c_str(), codePage, at, nullptr, &size, &count);
    if (result != CORVANE_E_BUFFER_TOO_SMALL)
        return {result, {}};
    std::string items(size, '\x7F');
    result = corvane_read_block(block.c_str(), codePage, at, items.data(), &size, &count);
    if (result != CORVANE_OK)
        return {result, {}};
    TRead read{CORVANE_OK, {}};
    for (std::size_t start = 0; start < size;) {
        const std::size_t end = items.find('\0', start);
        read.Items.push_back(items.substr(start, end - start));
        start = end + 1;
    }
    if (read.Items.size() != count)
        read.Result = CORVANE_E_INTERNAL;
    corvane_wipe(items.data(), items.size());
    return read;
}

}  // namespace LaunchTesting
