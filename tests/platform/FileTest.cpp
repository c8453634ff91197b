#include <gtest/gtest.h>

#include <string>

#include "core/Exceptions.h"
#include "platform/File.h"
#include "support/TestSupport.h"

namespace {

using TestSupport::ReadFileBytes;
using TestSupport::TTempDir;
using TestSupport::WriteFileBytes;

std::u16string PathText(const std::filesystem::path& path)
{
    return path.u16string();
}

std::string Content(const std::filesystem::path& path)
{
    const TBytes bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

class FileTest : public testing::Test {
protected:
    TTempDir FDir;
    std::filesystem::path FPath = FDir / "data.bin";
};

TEST_F(FileTest, CreateExclusiveTruncatesAndReadsBackWhatItWrote)
{
    WriteFileBytes(FPath, "previous content");
    TFile file(PathText(FPath), TFile::TOpen::CreateExclusive);
    EXPECT_EQ(file.Size(), 0);
    EXPECT_EQ(file.Write("abcdef", 6), 6);
    EXPECT_EQ(file.Seek(1, TSeekOrigin::Beginning), 1);
    char buffer[8] = {};
    EXPECT_EQ(file.Read(buffer, 8), 5);
    EXPECT_EQ(std::string(buffer, 5), "bcdef");
    EXPECT_EQ(file.Seek(-2, TSeekOrigin::End), 4);
    file.SetSize(3);
    EXPECT_EQ(file.Size(), 3);
    EXPECT_EQ(file.Seek(0, TSeekOrigin::Current), 4);
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(Content(FPath), "abc");
}

TEST_F(FileTest, OpenOrCreateExclusiveCreatesMissingAndKeepsExisting)
{
    {
        TFile created(PathText(FPath), TFile::TOpen::OpenOrCreateExclusive);
        EXPECT_EQ(created.Size(), 0);
        created.Write("first", 5);
    }
    {
        TFile reopened(PathText(FPath), TFile::TOpen::OpenOrCreateExclusive);
        EXPECT_EQ(reopened.Size(), 5);
        reopened.Seek(0, TSeekOrigin::End);
        reopened.Write("+second", 7);
    }
    EXPECT_EQ(Content(FPath), "first+second");
}

TEST_F(FileTest, ExistingOnlyModesRaiseNotFoundForMissingFile)
{
    for (const auto mode :
         {TFile::TOpen::ReadShared, TFile::TOpen::ReadWriteExclusive, TFile::TOpen::AppendReadShared}) {
        try {
            TFile file(PathText(FPath), mode);
            ADD_FAILURE() << "opened a missing file in mode " << static_cast<int>(mode);
        } catch (const EOSError& e) {
            EXPECT_EQ(e.ErrorCode, 2u);  // ENOENT and ERROR_FILE_NOT_FOUND alike
        }
    }
}

TEST_F(FileTest, DirectoryIsNoFile)
{
    EXPECT_THROW(TFile(PathText(FDir.Path()), TFile::TOpen::ReadShared), EOSError);
    EXPECT_THROW(TFile(PathText(FDir.Path()), TFile::TOpen::OpenOrCreateExclusive), EOSError);
}

TEST_F(FileTest, MovedFromOwnerNoLongerHoldsFile)
{
    WriteFileBytes(FPath, "x");
    TFile first(PathText(FPath), TFile::TOpen::ReadWriteExclusive);
    TFile second = std::move(first);
    EXPECT_FALSE(first.IsOpen());
    EXPECT_TRUE(second.IsOpen());
    second = TFile();
    EXPECT_NO_THROW(TFile(PathText(FPath), TFile::TOpen::ReadWriteExclusive));
}

struct TSharingCase {
    const char* Name;
    TFile::TOpen Held;
    TFile::TOpen Requested;
    bool Allowed;
};

class FileSharing : public FileTest, public testing::WithParamInterface<TSharingCase> {};

TEST_P(FileSharing, SecondOpenFollowsWindowsSharingRules)
{
    const TSharingCase& c = GetParam();
    WriteFileBytes(FPath, "kept");
    TFile held(PathText(FPath), c.Held);
    if (c.Allowed) {
        EXPECT_NO_THROW(TFile(PathText(FPath), c.Requested));
    } else {
        EXPECT_THROW(TFile(PathText(FPath), c.Requested), EOSError);
    }
    held.Close();
    // A refused open must leave the file as it was, truncating modes included.
    EXPECT_EQ(Content(FPath), c.Allowed && c.Requested == TFile::TOpen::CreateExclusive ? "" : "kept");
}

using O = TFile::TOpen;
INSTANTIATE_TEST_SUITE_P(
    Cases, FileSharing,
    testing::Values(TSharingCase{"ReadersTogether", O::ReadShared, O::ReadShared, true},
                    TSharingCase{"WriterBesideReader", O::ReadShared, O::ReadWriteExclusive, false},
                    TSharingCase{"AppendBesideReader", O::ReadShared, O::AppendReadShared, false},
                    TSharingCase{"ReaderBesideExclusive", O::ReadWriteExclusive, O::ReadShared, false},
                    TSharingCase{"ReaderBesideAppender", O::AppendReadShared, O::ReadShared, false},
                    TSharingCase{"AppendersApart", O::AppendReadShared, O::AppendReadShared, false},
                    TSharingCase{"ProbeBesideAppender", O::AppendReadShared, O::ReadWriteExclusive, false},
                    TSharingCase{"CreateBesideReaderKeepsContent", O::ReadShared, O::CreateExclusive, false},
                    TSharingCase{"OpenOrCreateBesideExclusive", O::ReadWriteExclusive, O::OpenOrCreateExclusive,
                                 false}),
    [](const testing::TestParamInfo<TSharingCase>& info) { return std::string(info.param.Name); });

}  // namespace
