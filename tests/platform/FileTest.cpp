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

TEST_F(FileTest, LogAppendCreatesMissingLogAndKeepsExistingOne)
{
    {
        TFile created(PathText(FPath), TFile::TOpen::LogAppend);
        EXPECT_EQ(created.Size(), 0);
        EXPECT_EQ(created.Write("first", 5), 5);
    }
    TFile existing(PathText(FPath), TFile::TOpen::LogAppend);
    EXPECT_EQ(existing.Size(), 5);
    existing.Seek(0, TSeekOrigin::End);
    EXPECT_EQ(existing.Write("+", 1), 1);
    existing.Close();
    EXPECT_EQ(Content(FPath), "first+");
}

TEST_F(FileTest, LogRotateMovesTheLogAndRefusesToReplace)
{
    WriteFileBytes(FPath, "log");
    const std::filesystem::path old = FDir / "data.old";
    WriteFileBytes(old, "earlier");
    {
        TFile log(PathText(FPath), TFile::TOpen::LogRotate);
        EXPECT_TRUE(log.IsAt(PathText(FPath)));
        EXPECT_THROW((void)log.MoveNoReplace(PathText(FPath), PathText(old)), EOSError);
    }
    EXPECT_EQ(Content(FPath), "log");
    EXPECT_EQ(Content(old), "earlier");

    std::filesystem::remove(old);
    {
        TFile log(PathText(FPath), TFile::TOpen::LogRotate);
        EXPECT_TRUE(log.MoveNoReplace(PathText(FPath), PathText(old)));
        EXPECT_TRUE(log.IsAt(PathText(old)));
    }
    EXPECT_FALSE(std::filesystem::exists(FPath));
    EXPECT_EQ(Content(old), "log");
    EXPECT_THROW(TFile(PathText(FPath), TFile::TOpen::LogRotate), EOSError);
}

#ifndef _WIN32
// POSIX lets another process move a log that this one holds (the lock is advisory); Windows
// refuses it while the handle is open, so these cases cannot arise there.

TEST_F(FileTest, IsAtTellsWhetherTheNameStillHoldsTheOpenFile)
{
    WriteFileBytes(FPath, "log");
    TFile log(PathText(FPath), TFile::TOpen::LogRotate);
    const std::filesystem::path elsewhere = FDir / "moved.log";
    std::filesystem::rename(FPath, elsewhere);
    EXPECT_FALSE(log.IsAt(PathText(FPath)));
    EXPECT_TRUE(log.IsAt(PathText(elsewhere)));
    WriteFileBytes(FPath, "another log");
    EXPECT_FALSE(log.IsAt(PathText(FPath)));
}

// Another writer moved the log and started a new one: this handle's move would take the new log,
// which it never measured, so nothing is moved.
TEST_F(FileTest, MoveNoReplaceMovesNothingWhenTheNameHoldsAnotherFile)
{
    WriteFileBytes(FPath, "measured log");
    TFile log(PathText(FPath), TFile::TOpen::LogRotate);
    std::filesystem::rename(FPath, FDir / "moved-by-another.log");
    WriteFileBytes(FPath, "new log");
    const std::filesystem::path old = FDir / "data.old";
    EXPECT_FALSE(log.MoveNoReplace(PathText(FPath), PathText(old)));
    EXPECT_FALSE(std::filesystem::exists(old));
    EXPECT_EQ(Content(FPath), "new log");
}

// The log is moved away between the open and the lock: the open takes the file that the name
// holds now, however often that happens within its attempts, and tells a name that never
// settles as held.
TEST_F(FileTest, LogOpenFollowsTheNameWhenTheLogIsMovedBeforeTheLock)
{
    for (const TFile::TOpen mode : {TFile::TOpen::LogAppend, TFile::TOpen::LogRotate}) {
        WriteFileBytes(FPath, "0");
        int moves = 0;
        const auto moveAway = [&] {
            if (moves == 3)
                return;
            ++moves;
            std::filesystem::rename(FPath, FDir / ("moved" + std::to_string(moves)));
            WriteFileBytes(FPath, std::to_string(moves));
        };
        TFile log(PathText(FPath), mode, moveAway);
        EXPECT_EQ(moves, 3);
        EXPECT_TRUE(log.IsAt(PathText(FPath)));
        char buffer[4] = {};
        EXPECT_EQ(log.Read(buffer, sizeof buffer), 1);
        EXPECT_EQ(buffer[0], '3');
        log.Close();
        for (int i = 1; i <= 3; ++i)
            std::filesystem::remove(FDir / ("moved" + std::to_string(i)));
    }

    int moves = 0;
    try {
        TFile log(PathText(FPath), TFile::TOpen::LogAppend, [&] {
            ++moves;
            std::filesystem::rename(FPath, FDir / "moved");
            std::filesystem::remove(FDir / "moved");
            WriteFileBytes(FPath, "again");
        });
        ADD_FAILURE() << "a name that never settled was opened";
    } catch (const EOSError& e) {
        EXPECT_TRUE(IsHeldByAnother(e)) << e.what();
    }
    EXPECT_GT(moves, 1);
}
#endif

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
                    TSharingCase{"OpenOrCreateBesideExclusive", O::ReadWriteExclusive, O::OpenOrCreateExclusive, false},
                    // The log's writers exclude one another whichever step each is at, and a
                    // reader waits for them.
                    TSharingCase{"LogAppendersApart", O::LogAppend, O::LogAppend, false},
                    TSharingCase{"LogRotationBesideAppender", O::LogAppend, O::LogRotate, false},
                    TSharingCase{"LogAppendBesideRotation", O::LogRotate, O::LogAppend, false},
                    TSharingCase{"LogReaderBesideAppender", O::LogAppend, O::LogRead, false},
                    TSharingCase{"LogAppendBesideReader", O::LogRead, O::LogAppend, false},
                    TSharingCase{"LogReadersTogether", O::LogRead, O::LogRead, true}),
    [](const testing::TestParamInfo<TSharingCase>& info) { return std::string(info.param.Name); });

}  // namespace
