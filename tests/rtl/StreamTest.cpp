#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <limits>
#include <random>
#include <string>
#include <string_view>

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

// Bytes without a short period, so a piece copied twice or skipped cannot match by chance.
std::string Unrepeating(std::size_t size)
{
    std::minstd_rand generator(12);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator() >> 8);
    return bytes;
}

// A source that hands out at most a given number of bytes per read, as a pipe may.
class TTricklingStream final : public TStream {
public:
    TTricklingStream(std::string_view data, std::int64_t readLimit) : FInner(StreamWith(data)), FReadLimit(readLimit)
    {
        FInner.SetPosition(0);
    }

    std::int64_t Read(void* buffer, std::int64_t count) override
    {
        return FInner.Read(buffer, std::min(count, FReadLimit));
    }
    std::int64_t Write(const void* buffer, std::int64_t count) override { return FInner.Write(buffer, count); }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override { return FInner.Seek(offset, origin); }
    void SetSize(std::int64_t newSize) override { FInner.SetSize(newSize); }

private:
    TMemoryStream FInner;
    std::int64_t FReadLimit;
};

struct TCopyCase {
    const char* Name;
    std::size_t Size;
    std::int64_t ReadLimit;
};

void PrintTo(const TCopyCase& c, std::ostream* os)
{
    *os << c.Name;
}

class StreamCopy : public ::testing::TestWithParam<TCopyCase> {};

TEST_P(StreamCopy, CopiesEveryByteOnceAndInOrder)
{
    const std::string data = Unrepeating(GetParam().Size);
    TTricklingStream source(data, GetParam().ReadLimit);
    TMemoryStream dest;
    EXPECT_EQ(dest.CopyFrom(source), static_cast<std::int64_t>(data.size()));
    const std::string copied = Content(dest);
    ASSERT_EQ(copied.size(), data.size());
    const auto difference = std::mismatch(copied.begin(), copied.end(), data.begin());
    EXPECT_EQ(difference.first - copied.begin(), static_cast<std::ptrdiff_t>(data.size())) << "first differing byte";
}

constexpr std::int64_t NoLimit = std::numeric_limits<std::int64_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Sizes, StreamCopy,
    ::testing::Values(TCopyCase{"Empty", 0, NoLimit}, TCopyCase{"OneByte", 1, NoLimit},
                      TCopyCase{"JustUnder4KiB", 4095, NoLimit}, TCopyCase{"Exactly4KiB", 4096, NoLimit},
                      TCopyCase{"JustOver4KiB", 4097, NoLimit}, TCopyCase{"Exactly64KiB", 65536, NoLimit},
                      TCopyCase{"JustOver64KiB", 65537, NoLimit}, TCopyCase{"Large", 300000, NoLimit},
                      TCopyCase{"LargeInShortReads", 300000, 1000}, TCopyCase{"LargeInUnevenReads", 300000, 5000},
                      TCopyCase{"ReadsOneShortOf4KiB", 20000, 4095}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
