// How read-log and dial open a log: never waiting on what someone put at its name, reading only a
// regular file, and trying a held log again.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/Exceptions.h"
#include "dialer/DialerHarness.h"
#include "platform/File.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"
#include "tools/corvane/LogFileRead.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/FifoUnblocker.h"
#endif

using namespace TestSupport;
namespace fs = std::filesystem;

namespace {

TEST(ReadLogFile, HeldLogIsTriedAgainAndReadOnceReleased)
{
    TTempDir dir;
    WriteFileBytes(dir / "Dialer.log", "record\r\n");
    auto hold = std::make_unique<DialerTesting::TFileHold>(dir / "Dialer.log");
    std::vector<int> pauses;
    const std::string bytes = ReadLogFile((dir / "Dialer.log").u16string(), [&](int attempt) {
        pauses.push_back(attempt);
        if (attempt == 2)
            hold.reset();
    });
    EXPECT_EQ(bytes, "record\r\n");
    EXPECT_EQ(pauses, (std::vector<int>{1, 2}));
}

TEST(ReadLogFile, LogHeldThroughEveryAttemptRaises)
{
    TTempDir dir;
    WriteFileBytes(dir / "Dialer.log", "record\r\n");
    const DialerTesting::TFileHold hold(dir / "Dialer.log");
    int pauses = 0;
    try {
        (void)ReadLogFile((dir / "Dialer.log").u16string(), [&](int) { ++pauses; });
        ADD_FAILURE() << "a held log was read";
    } catch (const EOSError& e) {
        EXPECT_TRUE(IsHeldByAnother(e)) << e.what();
    }
    EXPECT_EQ(pauses, HeldLogReadAttempts - 1);
}

TEST(ReadLogFile, DirectoryIsRefusedAndSaidSo)
{
    TTempDir dir;
    fs::create_directory(dir / "Dialer.log");
    try {
        (void)ReadLogFile((dir / "Dialer.log").u16string(), [](int) {});
        ADD_FAILURE() << "a directory was read as a log";
    } catch (const EOSError& e) {
        EXPECT_FALSE(IsHeldByAnother(e)) << e.what();
#ifndef _WIN32
        // Windows refuses to open a directory as a file at all; POSIX opens it, and the check says
        // what it is.
        EXPECT_NE(std::string(e.what()).find("a directory"), std::string::npos) << e.what();
#endif
    }
}

#ifndef _WIN32
TEST(ReadLogFile, FifoAndDeviceAreRefusedWithoutWaitingAndSaidSo)
{
    TTempDir dir;
    const fs::path fifo = dir / "Dialer.log";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const TFifoUnblocker unblocker(fifo);
    try {
        (void)ReadLogFile(fifo.u16string(), [](int) {});
        ADD_FAILURE() << "a FIFO was read as a log";
    } catch (const EOSError& e) {
        EXPECT_NE(std::string(e.what()).find("a FIFO"), std::string::npos) << e.what();
    }
    try {
        (void)ReadLogFile(u"/dev/null", [](int) {});
        ADD_FAILURE() << "a device was read as a log";
    } catch (const EOSError& e) {
        EXPECT_NE(std::string(e.what()).find("a character device"), std::string::npos) << e.what();
    }
}

TEST(ReadLogFile, ReadLogSaysWhatItFoundAtTheName)
{
    TTempDir dir;
    const fs::path fifo = dir / "Dialer.log";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const TFifoUnblocker unblocker(fifo);
    const auto run = RunCaptured(BuiltProgram("corvane"), {"read-log", fifo.string()});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Out, "");
    EXPECT_NE(run.Err.find("a FIFO, not a regular file"), std::string::npos) << run.Err;
}
#endif

}  // namespace
