// The POSIX UTF-8 code page converts without iconv; iconv's own UTF-8 converter, driven the way
// the other code pages are (a refused byte becomes U+FFFD, a value that is no character too), is
// the oracle it must match byte for byte.

#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <random>
#include <string>
#include <vector>

#include "platform/CodePage.h"

namespace {

class TUtf8Pin {
public:
    TUtf8Pin() : FSaved(AnsiCodePage()) { SetAnsiCodePage(65001); }
    ~TUtf8Pin() { SetAnsiCodePage(FSaved); }
    TUtf8Pin(const TUtf8Pin&) = delete;
    TUtf8Pin& operator=(const TUtf8Pin&) = delete;

private:
    std::uint32_t FSaved;
};

std::u16string IconvDecode(const std::vector<std::uint8_t>& bytes)
{
    const iconv_t cd = iconv_open("WCHAR_T", "UTF-8");
    std::vector<char32_t> points;
    std::size_t at = 0;
    while (at < bytes.size()) {
        char* in = reinterpret_cast<char*>(const_cast<std::uint8_t*>(bytes.data() + at));
        std::size_t inLeft = bytes.size() - at;
        std::vector<char32_t> chunk(inLeft + 1);
        char* out = reinterpret_cast<char*>(chunk.data());
        std::size_t outLeft = chunk.size() * sizeof(char32_t);
        const std::size_t rc = iconv(cd, &in, &inLeft, &out, &outLeft);
        chunk.resize(chunk.size() - outLeft / sizeof(char32_t));
        points.insert(points.end(), chunk.begin(), chunk.end());
        at = bytes.size() - inLeft;
        if (rc == static_cast<std::size_t>(-1)) {
            points.push_back(0xFFFD);
            ++at;
        }
    }
    iconv_close(cd);
    std::u16string text;
    for (char32_t c : points) {
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            c = 0xFFFD;
        if (c >= 0x10000) {
            text.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(c));
        }
    }
    return text;
}

std::vector<std::uint8_t> IconvEncode(const std::u16string& text)
{
    const iconv_t cd = iconv_open("UTF-8", "UTF-16LE");
    std::vector<std::uint8_t> bytes;
    std::size_t at = 0;
    while (at < text.size()) {
        char* in = reinterpret_cast<char*>(const_cast<char16_t*>(text.data() + at));
        std::size_t inLeft = (text.size() - at) * 2;
        std::vector<std::uint8_t> chunk(inLeft * 2 + 4);
        char* out = reinterpret_cast<char*>(chunk.data());
        std::size_t outLeft = chunk.size();
        const std::size_t rc = iconv(cd, &in, &inLeft, &out, &outLeft);
        chunk.resize(chunk.size() - outLeft);
        bytes.insert(bytes.end(), chunk.begin(), chunk.end());
        at = text.size() - inLeft / 2;
        if (rc == static_cast<std::size_t>(-1)) {
            bytes.insert(bytes.end(), {0xEF, 0xBF, 0xBD});
            ++at;
        }
    }
    iconv_close(cd);
    return bytes;
}

// Bytes where malformed, overlong, extended and cut sequences are common.
std::vector<std::uint8_t> AwkwardBytes(std::mt19937& random, std::size_t size)
{
    static constexpr std::uint8_t interesting[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0,
                                                   0xC1, 0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xF7,
                                                   0xF8, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes)
        b = random() % 2 ? interesting[random() % std::size(interesting)] : static_cast<std::uint8_t>(random());
    return bytes;
}

TEST(Utf8CodePage, DecodesAsIconvDoesOnAwkwardBytes)
{
    TUtf8Pin pin;
    std::mt19937 random(12);
    for (int round = 0; round < 20000; ++round) {
        const std::vector<std::uint8_t> bytes = AwkwardBytes(random, 1 + random() % 24);
        const TSecureText text = AnsiToUnicode(bytes.data(), bytes.size());
        ASSERT_EQ(std::u16string(text.data(), text.size()), IconvDecode(bytes)) << "round " << round;
    }
}

TEST(Utf8CodePage, DecodesEveryFormAsIconvDoes)
{
    TUtf8Pin pin;
    const std::vector<std::vector<std::uint8_t>> cases = {
        {0xC0, 0x80},                          // overlong
        {0xED, 0xA0, 0x80},                    // encoded surrogate
        {0xF4, 0x90, 0x80, 0x80},              // past U+10FFFF
        {0xF8, 0x88, 0x80, 0x80, 0x80},        // five-byte form
        {0xFC, 0x84, 0x80, 0x80, 0x80, 0x80},  // six-byte form
        {0xF8, 0x87, 0xBF, 0xBF, 0xBF},        // overlong five-byte form
        {0x41, 0xE2, 0x82},                    // cut by the end
        {0xE2, 0x82, 0x41},                    // cut by a byte that does not continue it
        {0xF0, 0x9F, 0x94, 0x92, 0xEF, 0xBF, 0xBE},
    };
    for (const auto& bytes : cases) {
        const TSecureText text = AnsiToUnicode(bytes.data(), bytes.size());
        EXPECT_EQ(std::u16string(text.data(), text.size()), IconvDecode(bytes));
    }
}

TEST(Utf8CodePage, EncodesAsIconvDoesWithLoneSurrogates)
{
    TUtf8Pin pin;
    std::mt19937 random(34);
    static constexpr char16_t interesting[] = {u'A', 0x00E9, 0x3042, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xFFFD, 0xFFFF};
    for (int round = 0; round < 20000; ++round) {
        std::u16string text(1 + random() % 16, u'\0');
        for (auto& c : text)
            c = random() % 2 ? interesting[random() % std::size(interesting)] : static_cast<char16_t>(random());
        const TSecureBytes bytes = UnicodeToAnsi(text);
        ASSERT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), IconvEncode(text)) << "round " << round;
    }
}

}  // namespace
