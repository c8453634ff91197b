// The dialer writing its log into a folder that other users can write to, where one of them has
// put something else at the log's name: a link to a file of the dialer's user, or a FIFO that
// nobody reads. The dialer writes nothing through it, leaves the file behind it as it was, ends at
// once with its status, and drops the record as it drops any other it cannot write.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "dialer/DialerHarness.h"
#include "support/TestSupport.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace DialerTesting;
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t NoDialResult = 9999;
const std::string VictimContent = "a file of the user's own\n";

enum class TPlanted { SymbolicLink, DanglingSymbolicLink, HardLink };

struct TPlantCase {
    const char* Name;
    TPlanted Planted;
};

class HostileLogName : public testing::TestWithParam<TPlantCase> {
protected:
    TDialerHarness FHarness;
    TestSupport::TTempDir FUserDir;
    fs::path FVictim = FUserDir.Path() / "victim.txt";
};

TEST_P(HostileLogName, DialerWritesNothingThroughALinkAtTheLogName)
{
    const fs::path log = FHarness.LogFile();
    std::error_code error;
    switch (GetParam().Planted) {
        case TPlanted::SymbolicLink:
            TestSupport::WriteFileBytes(FVictim, VictimContent);
            fs::create_symlink(FVictim, log, error);
            break;
        case TPlanted::DanglingSymbolicLink:
            fs::create_symlink(FVictim, log, error);
            break;
        case TPlanted::HardLink:
            TestSupport::WriteFileBytes(FVictim, VictimContent);
            fs::create_hard_link(FVictim, log, error);
            break;
    }
    if (error && TestSupport::RunningUnderWine())
        GTEST_SKIP() << "Wine cannot make this link (" << error.message()
                     << "); a Unix link made under the prefix is followed by Wine itself and shows no reparse point";
    ASSERT_FALSE(error) << error.message();

    const auto run = FHarness.Run({"not-a-block"});
    EXPECT_EQ(run.Status, SeenStatus(NoDialResult)) << run.Output;
    if (GetParam().Planted == TPlanted::DanglingSymbolicLink) {
        EXPECT_FALSE(fs::exists(FVictim)) << "a file was created through the link";
    } else {
        EXPECT_EQ(TestSupport::ReadFileBytes(FVictim), TBytes(VictimContent.begin(), VictimContent.end()));
    }
    EXPECT_EQ(fs::is_symlink(fs::symlink_status(log)), GetParam().Planted != TPlanted::HardLink);
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileLogName,
                         testing::Values(TPlantCase{"SymbolicLinkToAFile", TPlanted::SymbolicLink},
                                         TPlantCase{"SymbolicLinkToNothing", TPlanted::DanglingSymbolicLink},
                                         TPlantCase{"HardLinkToAFile", TPlanted::HardLink}),
                         [](const testing::TestParamInfo<TPlantCase>& info) { return std::string(info.param.Name); });

TEST(HostileLogFolder, DialerEndsAtOnceWithAFifoAtTheLogNameAndWritesNothingIntoIt)
{
#ifdef _WIN32
    GTEST_SKIP() << "a Windows folder holds no FIFO (named pipes live in their own namespace)";
#else
    TDialerHarness harness;
    const fs::path log = harness.LogFile();
    ASSERT_EQ(mkfifo(log.c_str(), 0666), 0);
    // A reader stands by, so that a writer would neither block nor fail, and whatever it wrote
    // would wait in the pipe.
    const int reader = open(log.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);

    // A dialer blocked on the FIFO would be ended by timeout, with its status 124.
    const auto run = harness.RunThrough("timeout", {"20", harness.DialerPath().string(), "not-a-block"});
    EXPECT_EQ(run.Status, SeenStatus(NoDialResult)) << run.Output;

    char byte = 0;
    const ssize_t n = read(reader, &byte, 1);
    EXPECT_LE(n, 0) << "the record went into the FIFO";
    close(reader);
    struct stat status {};
    ASSERT_EQ(lstat(log.c_str(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
#endif
}

}  // namespace
