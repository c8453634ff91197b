#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "rtl/MemoryStream.h"
#include "support/TestSupport.h"

namespace {

std::string Content(const TMemoryStream& stream)
{
    return std::string(stream.Bytes().begin(), stream.Bytes().end());
}

TMemoryStream StreamWith(std::string_view text)
{
    TMemoryStream stream;
    stream.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
    return stream;
}

TEST(MemoryStream, ReadsFromThePositionUpToTheEnd)
{
    TMemoryStream stream = StreamWith("0123456789");
    stream.SetPosition(7);
    char buffer[8] = {};
    EXPECT_EQ(stream.Read(buffer, 8), 3);
    EXPECT_EQ(std::string(buffer, 3), "789");
    EXPECT_EQ(stream.Read(buffer, 8), 0);
    stream.SetPosition(20);
    EXPECT_EQ(stream.Read(buffer, 8), 0);
}

TEST(MemoryStream, WritingPastTheEndGrowsAndOverwritesInPlace)
{
    TMemoryStream stream = StreamWith("abcdef");
    stream.SetPosition(4);
    stream.WriteBuffer("XYZ", 3);
    EXPECT_EQ(Content(stream), "abcdXYZ");
    EXPECT_EQ(stream.Position(), 7);
    EXPECT_EQ(stream.Size(), 7);
}

TEST(MemoryStream, SeeksFromEachOrigin)
{
    TMemoryStream stream = StreamWith("0123456789");
    EXPECT_EQ(stream.Seek(3, TSeekOrigin::Beginning), 3);
    EXPECT_EQ(stream.Seek(2, TSeekOrigin::Current), 5);
    EXPECT_EQ(stream.Seek(-4, TSeekOrigin::End), 6);
}

TEST(MemoryStream, PositionBeforeTheDataNeitherReadsNorWrites)
{
    for (const std::int64_t position : {std::int64_t{-1}, std::int64_t{-8}, std::numeric_limits<std::int64_t>::min()}) {
        TMemoryStream stream = StreamWith("0123456789");
        stream.SetPosition(position);
        char buffer[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
        EXPECT_EQ(stream.Read(buffer, 8), 0) << position;
        EXPECT_EQ(std::string(buffer, 8), "xxxxxxxx");
        EXPECT_EQ(stream.Write("ab", 2), 0) << position;
        EXPECT_EQ(Content(stream), "0123456789");
    }
}

TEST(MemoryStream, WriteWhoseEndWouldOverflowWritesNothing)
{
    TMemoryStream stream = StreamWith("0123");
    stream.SetPosition(std::numeric_limits<std::int64_t>::max() - 1);
    EXPECT_EQ(stream.Write("ab", 2), 0);
    EXPECT_EQ(Content(stream), "0123");
}

TEST(MemoryStream, SetSizeShortensAndKeepsThePositionInside)
{
    TMemoryStream stream = StreamWith("0123456789");
    stream.SetSize(4);
    EXPECT_EQ(Content(stream), "0123");
    EXPECT_EQ(stream.Position(), 4);
    stream.SetSize(6);
    EXPECT_EQ(stream.Size(), 6);
    stream.Clear();
    EXPECT_EQ(stream.Size(), 0);
    EXPECT_EQ(stream.Position(), 0);
}

TEST(Stream, ReadBufferRaisesWhenTheStreamEndsEarly)
{
    TMemoryStream stream = StreamWith("abc");
    stream.SetPosition(0);
    char buffer[4];
    EXPECT_THROW(stream.ReadBuffer(buffer, 4), EStreamError);
    stream.SetPosition(0);
    EXPECT_NO_THROW(stream.ReadBuffer(buffer, 3));
}

TEST(Stream, CopyFromTakesTheRestOfTheSourceInPieces)
{
    std::string big(200000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 31);
    TMemoryStream source = StreamWith(big);
    source.SetPosition(5);
    TMemoryStream dest = StreamWith("head:");
    EXPECT_EQ(dest.CopyFrom(source), static_cast<std::int64_t>(big.size() - 5));
    EXPECT_EQ(Content(dest), "head:" + big.substr(5));
    EXPECT_EQ(source.Position(), source.Size());
}

}  // namespace
