#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "core/Text.h"

namespace {

TEST(IntToStr, WritesSignedDecimal)
{
    EXPECT_EQ(IntToStr(0), u"0");
    EXPECT_EQ(IntToStr(9999), u"9999");
    EXPECT_EQ(IntToStr(-1073741790), u"-1073741790");
    EXPECT_EQ(IntToStr(std::numeric_limits<std::int64_t>::min()), u"-9223372036854775808");
}

TEST(WidenAscii, TakesEveryByteAsOneCharacter)
{
    EXPECT_EQ(WidenAscii(std::string_view("A=\r\n\0", 5)), std::u16string(u"A=\r\n\0", 5));
    EXPECT_EQ(WidenAscii(""), u"");
}

TEST(LossyUtf8, RoundTripsValidText)
{
    const std::u16string text = u"a\u00e9\u65e5\U0001F512";
    EXPECT_EQ(ToUtf8Lossy(text), "a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x94\x92");
    EXPECT_EQ(FromUtf8Lossy(ToUtf8Lossy(text)), text);
}

TEST(LossyUtf8, ReplacesWhatItCannotConvert)
{
    EXPECT_EQ(ToUtf8Lossy(std::u16string{u'x', char16_t(0xDC00)}), "x\xEF\xBF\xBD");
    EXPECT_EQ(FromUtf8Lossy("a\xFF"
                            "b"),
              u"a\ufffdb");
    EXPECT_EQ(FromUtf8Lossy("\xE3\x81"), u"\ufffd");
    EXPECT_EQ(FromUtf8Lossy("\xC0\x80z"), u"\ufffdz");
}

}  // namespace
