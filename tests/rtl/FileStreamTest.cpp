#include <gtest/gtest.h>

#include <string>

#include "rtl/FileStream.h"
#include "rtl/MemoryStream.h"
#include "support/TestSupport.h"

namespace {

using TestSupport::ReadFileBytes;
using TestSupport::WriteFileBytes;

class FileStream : public ::testing::Test {
protected:
    std::u16string PathOf(std::string_view name) const { return (FDir / name).u16string(); }
    TestSupport::TTempDir FDir;
};

TEST_F(FileStream, CreateWritesAFileThatOthersCanRead)
{
    {
        TFileStream stream(PathOf("out.bin"), TFileStream::TMode::Create);
        stream.WriteBuffer("hello, file", 11);
        EXPECT_EQ(stream.Size(), 11);
        EXPECT_EQ(stream.Position(), 11);
        stream.Flush();
    }
    const TBytes bytes = ReadFileBytes(FDir / "out.bin");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "hello, file");
}

TEST_F(FileStream, CreateReplacesAnExistingFile)
{
    WriteFileBytes(FDir / "old.bin", "a much longer old content");
    {
        TFileStream stream(PathOf("old.bin"), TFileStream::TMode::Create);
        stream.WriteBuffer("new", 3);
    }
    EXPECT_EQ(ReadFileBytes(FDir / "old.bin").size(), 3u);
}

TEST_F(FileStream, OpenReadReadsAndSeeksLikeAnyStream)
{
    WriteFileBytes(FDir / "in.bin", "0123456789");
    TFileStream stream(PathOf("in.bin"), TFileStream::TMode::OpenRead);
    EXPECT_EQ(stream.Size(), 10);
    EXPECT_EQ(stream.Seek(-3, TSeekOrigin::End), 7);
    char buffer[8] = {};
    EXPECT_EQ(stream.Read(buffer, 8), 3);
    EXPECT_EQ(std::string(buffer, 3), "789");
    EXPECT_EQ(stream.Read(buffer, 8), 0);
    stream.SetPosition(2);
    TMemoryStream copy;
    EXPECT_EQ(copy.CopyFrom(stream), 8);
}

TEST_F(FileStream, SeekBeforeTheStartRaisesAndKeepsThePosition)
{
    WriteFileBytes(FDir / "in.bin", "0123456789");
    TFileStream stream(PathOf("in.bin"), TFileStream::TMode::OpenRead);
    stream.SetPosition(4);
    EXPECT_THROW(stream.Seek(-8, TSeekOrigin::Beginning), EOSError);
    EXPECT_THROW(stream.Seek(-5, TSeekOrigin::Current), EOSError);
    EXPECT_EQ(stream.Position(), 4);
    char buffer[2] = {};
    EXPECT_EQ(stream.Read(buffer, 2), 2);
    EXPECT_EQ(std::string(buffer, 2), "45");
}

TEST_F(FileStream, OpenReadOfAMissingFileRaisesTheOsError)
{
    EXPECT_THROW(TFileStream(PathOf("missing.bin"), TFileStream::TMode::OpenRead), EOSError);
}

TEST_F(FileStream, WritingToAReadOnlyStreamRaisesOrWritesNothing)
{
    WriteFileBytes(FDir / "ro.bin", "keep");
    {
        TFileStream stream(PathOf("ro.bin"), TFileStream::TMode::OpenRead);
        EXPECT_ANY_THROW(stream.WriteBuffer("x", 1));
    }
    const TBytes bytes = ReadFileBytes(FDir / "ro.bin");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "keep");
}

TEST_F(FileStream, SetSizeTruncates)
{
    TFileStream stream(PathOf("cut.bin"), TFileStream::TMode::Create);
    stream.WriteBuffer("0123456789", 10);
    stream.SetSize(4);
    EXPECT_EQ(stream.Size(), 4);
}

}  // namespace
