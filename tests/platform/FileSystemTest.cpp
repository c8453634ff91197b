#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/Exceptions.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using TestSupport::TTempDir;
using TestSupport::U8;
using TestSupport::WriteFileBytes;

std::u16string PathText(const fs::path& path)
{
    return path.u16string();
}

std::string Content(const fs::path& path)
{
    const TBytes bytes = TestSupport::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

class FileSystemTest : public testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directory(FDir / "sub");
        WriteFileBytes(FDir / "file.txt", "file");
    }

    TTempDir FDir;
};

TEST_F(FileSystemTest, ExistenceTestsTellFilesFromDirectories)
{
    EXPECT_TRUE(DirectoryExists(PathText(FDir / "sub")));
    EXPECT_TRUE(DirectoryExists(PathText(FDir / "sub") + std::u16string(PathDelimiter)));
    EXPECT_FALSE(DirectoryExists(PathText(FDir / "file.txt")));
    EXPECT_FALSE(DirectoryExists(PathText(FDir / "missing")));
    EXPECT_FALSE(DirectoryExists(PathText(FDir / "missing" / "deeper")));
    EXPECT_FALSE(DirectoryExists(u""));

    EXPECT_TRUE(FileExists(PathText(FDir / "file.txt")));
    EXPECT_FALSE(FileExists(PathText(FDir / "sub")));
    EXPECT_FALSE(FileExists(PathText(FDir / "missing")));
    EXPECT_FALSE(FileExists(u""));
}

TEST_F(FileSystemTest, PathUnderAFileCountsAsAbsent)
{
    EXPECT_FALSE(DirectoryExists(PathText(FDir / "file.txt" / "below")));
}

#ifndef _WIN32
TEST_F(FileSystemTest, OverlongNameCountsAsAbsent)
{
    EXPECT_FALSE(DirectoryExists(PathText(FDir.Path()) + std::u16string(PathDelimiter) + std::u16string(5000, u'n')));
}

TEST_F(FileSystemTest, SymbolicLinkToDirectoryIsDirectory)
{
    fs::create_directory_symlink(FDir / "sub", FDir / "link");
    fs::create_symlink(FDir / "file.txt", FDir / "filelink");
    fs::create_symlink(FDir / "missing", FDir / "dangling");
    EXPECT_TRUE(DirectoryExists(PathText(FDir / "link")));
    EXPECT_FALSE(DirectoryExists(PathText(FDir / "filelink")));
    EXPECT_FALSE(DirectoryExists(PathText(FDir / "dangling")));
    EXPECT_TRUE(FileExists(PathText(FDir / "filelink")));
}

TEST_F(FileSystemTest, LinkLoopCountsAsAbsent)
{
    fs::create_symlink(FDir / "loop", FDir / "loop");
    EXPECT_FALSE(DirectoryExists(PathText(FDir / "loop")));
}

// Root looks into every directory, so the denial is shown from a child that has given up root.
bool DirectoryExistsAsUnprivileged(const std::u16string& path)
{
    if (geteuid() != 0)
        return DirectoryExists(path);
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        _exit(DirectoryExists(path) ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 2) << "could not drop privileges";
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(FileSystemTest, UnreadableAttributesCountAsExisting)
{
    fs::permissions(FDir.Path(), fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
    fs::create_directory(FDir / "closed");
    fs::permissions(FDir / "closed", fs::perms::none);
    EXPECT_TRUE(DirectoryExistsAsUnprivileged(PathText(FDir / "closed" / "inner")));
    EXPECT_FALSE(DirectoryExistsAsUnprivileged(PathText(FDir / "missing")));
    fs::permissions(FDir / "closed", fs::perms::owner_all);
}
#endif

TEST_F(FileSystemTest, MoveRenamesFile)
{
    MoveFileNoReplace(PathText(FDir / "file.txt"), PathText(FDir / "moved.txt"));
    EXPECT_FALSE(fs::exists(FDir / "file.txt"));
    EXPECT_EQ(Content(FDir / "moved.txt"), "file");
}

TEST_F(FileSystemTest, MoveNeverReplacesExistingTarget)
{
    WriteFileBytes(FDir / "target.txt", "target");
    EXPECT_THROW(MoveFileNoReplace(PathText(FDir / "file.txt"), PathText(FDir / "target.txt")), EOSError);
    EXPECT_THROW(MoveFileNoReplace(PathText(FDir / "file.txt"), PathText(FDir / "sub")), EOSError);
    EXPECT_EQ(Content(FDir / "file.txt"), "file");
    EXPECT_EQ(Content(FDir / "target.txt"), "target");
    EXPECT_TRUE(fs::is_directory(FDir / "sub"));
}

TEST_F(FileSystemTest, MoveOfMissingFileRaises)
{
    EXPECT_THROW(MoveFileNoReplace(PathText(FDir / "missing"), PathText(FDir / "other")), EOSError);
}

TEST_F(FileSystemTest, DeleteRemovesFilesOnly)
{
    WriteFileBytes(FDir / "sub" / "inner.txt", "inner");
    EXPECT_TRUE(DeleteFileAt(PathText(FDir / "file.txt")));
    EXPECT_FALSE(fs::exists(FDir / "file.txt"));
    EXPECT_FALSE(DeleteFileAt(PathText(FDir / "file.txt")));
    EXPECT_FALSE(DeleteFileAt(PathText(FDir / "sub")));
    EXPECT_TRUE(fs::exists(FDir / "sub" / "inner.txt"));
}

struct TSplitCase {
    const char* CaseName;
    const char16_t* Path;
    const char16_t* Directory;
    const char16_t* Name;
};

void PrintTo(const TSplitCase& c, std::ostream* os)
{
    *os << U8(c.Path);
}

class PathSplit : public testing::TestWithParam<TSplitCase> {};

TEST_P(PathSplit, SplitsAtLastDelimiter)
{
    const TSplitCase& c = GetParam();
    EXPECT_EQ(U8(ExtractFilePath(c.Path)), U8(c.Directory));
    EXPECT_EQ(U8(ExtractFileName(c.Path)), U8(c.Name));
}

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(Cases, PathSplit,
                         testing::Values(TSplitCase{"FullPath", u"C:\\Program Files\\Corvane\\CorvaneDialer.exe",
                                                    u"C:\\Program Files\\Corvane\\", u"CorvaneDialer.exe"},
                                         TSplitCase{"MixedSlashes", u"C:/mixed\\dir/x.log", u"C:/mixed\\dir/",
                                                    u"x.log"},
                                         TSplitCase{"DriveWithoutDirectory", u"C:name.txt", u"C:", u"name.txt"},
                                         TSplitCase{"NameOnly", u"name.txt", u"", u"name.txt"},
                                         TSplitCase{"TrailingDelimiter", u"C:\\dir\\", u"C:\\dir\\", u""}),
                         [](const auto& info) { return std::string(info.param.CaseName); });
#else
INSTANTIATE_TEST_SUITE_P(Cases, PathSplit,
                         testing::Values(TSplitCase{"FullPath", u"/opt/corvane/bin/CorvaneDialer", u"/opt/corvane/bin/",
                                                    u"CorvaneDialer"},
                                         TSplitCase{"InRoot", u"/name", u"/", u"name"},
                                         TSplitCase{"NameOnly", u"name.txt", u"", u"name.txt"},
                                         TSplitCase{"BackslashIsPartOfTheName", u"back\\slash", u"", u"back\\slash"},
                                         TSplitCase{"TrailingDelimiter", u"/dir/", u"/dir/", u""}),
                         [](const auto& info) { return std::string(info.param.CaseName); });
#endif

TEST(PathChars, RejectWhatThePlatformCannotName)
{
    EXPECT_TRUE(HasValidPathChars(PathText(fs::temp_directory_path() / "ファイル.log")));
    EXPECT_FALSE(HasValidPathChars(std::u16string(u"a\0b", 3)));
#ifdef _WIN32
    for (const char16_t* bad : {u"C:\\a<b", u"C:\\a>b", u"C:\\a|b", u"C:\\a\"b", u"C:\\a?b", u"C:\\a*b", u"C:\\a\tb"})
        EXPECT_FALSE(HasValidPathChars(bad)) << U8(bad);
    EXPECT_TRUE(HasValidPathChars(u"\\\\?\\C:\\long\\path.log"));
    EXPECT_TRUE(IsExtendedLengthPath(u"\\\\?\\C:\\long\\path.log"));
#else
    EXPECT_TRUE(HasValidPathChars(u"/tmp/a<b>|\"?*\tc"));
    EXPECT_FALSE(IsExtendedLengthPath(u"\\\\?\\C:\\long\\path.log"));
#endif
}

}  // namespace
