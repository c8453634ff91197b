#include <array>

#include "Utils/Util.CryptoU.h"

namespace {

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t GroupsPerLine = 19;
constexpr std::size_t LineLength = GroupsPerLine * 4;
constexpr char Separator[] = "\r\n";
constexpr std::size_t SeparatorLength = 2;

// The value of every alphabet character; -1 for everything the decoder skips.
constexpr std::array<std::int8_t, 256> MakeDecodeTable()
{
    std::array<std::int8_t, 256> table{};
    table.fill(-1);
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(Alphabet[i])] = static_cast<std::int8_t>(i);
    return table;
}

constexpr std::array<std::int8_t, 256> DecodeTable = MakeDecodeTable();

bool EndsWithSeparator(const std::string& text, std::size_t length)
{
    return length >= SeparatorLength && text[length - 2] == Separator[0] && text[length - 1] == Separator[1];
}

// The layout that keeps every line of full length terminated: a last line of 76 characters
// gets its separator too.
std::size_t TerminateFullLastLine(std::string& text, std::size_t length)
{
    if (length == 0 || EndsWithSeparator(text, length))
        return length;
    std::size_t lastLineStart = 0;
    for (std::size_t i = length; i >= SeparatorLength; --i) {
        if (EndsWithSeparator(text, i)) {
            lastLineStart = i;
            break;
        }
    }
    if (length - lastLineStart >= LineLength) {
        text[length++] = Separator[0];
        text[length++] = Separator[1];
    }
    return length;
}

}  // namespace

std::string EncodeBase64Text(const std::uint8_t* data, std::int32_t count, TBase64FormattingOptions option)
{
    const bool lines = option == TBase64FormattingOptions::InsertLineBreaks ||
                       option == TBase64FormattingOptions::InsertLineBreaksXE5Compat;
    // No caller passes a negative count; it encodes nothing rather than reading before data.
    const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
    const std::size_t characters = (n + 2) / 3 * 4;
    const std::size_t separators = lines ? characters / LineLength + 1 : 0;
    std::string text(characters + separators * SeparatorLength, '\0');

    std::size_t length = 0;
    std::size_t groupsInLine = 0;
    std::size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        const std::uint32_t v =
            static_cast<std::uint32_t>(data[i]) << 16 | static_cast<std::uint32_t>(data[i + 1]) << 8 | data[i + 2];
        text[length++] = Alphabet[v >> 18 & 63];
        text[length++] = Alphabet[v >> 12 & 63];
        text[length++] = Alphabet[v >> 6 & 63];
        text[length++] = Alphabet[v & 63];
        if (lines && ++groupsInLine == GroupsPerLine) {
            text[length++] = Separator[0];
            text[length++] = Separator[1];
            groupsInLine = 0;
        }
    }
    // The padded group joins the current line and is never followed by a separator.
    if (const std::size_t rest = n - i; rest > 0) {
        const std::uint32_t v =
            static_cast<std::uint32_t>(data[i]) << 16 | (rest == 2 ? static_cast<std::uint32_t>(data[i + 1]) << 8 : 0);
        text[length++] = Alphabet[v >> 18 & 63];
        text[length++] = Alphabet[v >> 12 & 63];
        text[length++] = rest == 2 ? Alphabet[v >> 6 & 63] : '=';
        text[length++] = '=';
    }
    if (option == TBase64FormattingOptions::InsertLineBreaksXE5Compat)
        length = TerminateFullLastLine(text, length);
    text.resize(length);
    return text;
}

TBytes DecodeBase64Text(std::string_view text)
{
    TBytes bytes(text.size() / 4 * 3 + 3);
    std::size_t length = 0;
    std::uint32_t bits = 0;
    int values = 0;
    for (const char c : text) {
        const std::int8_t value = DecodeTable[static_cast<unsigned char>(c)];
        if (value < 0)
            continue;
        bits = bits << 6 | static_cast<std::uint32_t>(value);
        if (++values == 4) {
            bytes[length++] = static_cast<std::uint8_t>(bits >> 16);
            bytes[length++] = static_cast<std::uint8_t>(bits >> 8);
            bytes[length++] = static_cast<std::uint8_t>(bits);
            bits = 0;
            values = 0;
        }
    }
    // Two leftover values carry one byte, three carry two; surplus bits are dropped unchecked.
    if (values == 2) {
        bytes[length++] = static_cast<std::uint8_t>(bits >> 4);
    } else if (values == 3) {
        bytes[length++] = static_cast<std::uint8_t>(bits >> 10);
        bytes[length++] = static_cast<std::uint8_t>(bits >> 2);
    }
    bytes.resize(length);
    return bytes;
}
