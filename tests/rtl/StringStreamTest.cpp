#include <gtest/gtest.h>

#include "core/Exceptions.h"
#include "rtl/CodePagePin.h"
#include "rtl/StringStream.h"
#include "support/TestSupport.h"

namespace {

using TestSupport::ToHex;
using TestSupport::U16;

TEST(StringStream, WritesTextInItsEncodingAndReadsItAllBack)
{
    TStringStream stream(TEncoding::UTF8());
    stream.WriteString(U16("日本"));
    stream.WriteString(u"-x");
    EXPECT_EQ(ToHex(stream.Bytes()), "e697a5e69cac2d78");
    EXPECT_EQ(stream.DataString(), U16("日本-x"));
    EXPECT_EQ(stream.Position(), 8);
}

TEST(StringStream, DataStringCoversEverythingWhateverThePosition)
{
    TStringStream stream(TEncoding::ASCII());
    stream.WriteString(u"abcdef");
    stream.SetPosition(2);
    stream.WriteString(u"XY");
    EXPECT_EQ(stream.DataString(), u"abXYef");
    EXPECT_EQ(stream.Position(), 4);
}

TEST(StringStream, InvalidUtf8ContentRaisesOnReading)
{
    TStringStream stream(TEncoding::UTF8());
    stream.WriteBuffer("\xC3", 1);
    EXPECT_THROW(stream.DataString(), EEncodingError);
}

TEST(StringStream, AnsiStreamFollowsTheProcessCodePage)
{
    TCodePagePin pin;
    PIN_CODE_PAGE(pin, 932);
    TStringStream stream(TEncoding::ANSI());
    stream.WriteString(U16("日本"));
    EXPECT_EQ(ToHex(stream.Bytes()), "93fa967b");
    EXPECT_EQ(stream.DataString(), U16("日本"));
}

}  // namespace
