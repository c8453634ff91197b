// Running a program as a launching program runs the dialer: a timeout ends the program with
// everything it started.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/ScopeExit.h"
#include "platform/ProgramRun.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>

#include <sstream>
#endif

using namespace TestSupport;

namespace {

// The programs here end by themselves or once stopNow says so; the timeout is longer than any
// test runs.
TRunOptions UntilStopped(std::function<bool()> stopNow = {})
{
    TRunOptions options;
    options.Timeout = std::chrono::seconds(600);
    options.StopNow = std::move(stopNow);
    return options;
}

void SetVariable(const char* name, const std::string& value)
{
#ifdef _WIN32
    SetEnvironmentVariableA(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

void UnsetVariable(const char* name)
{
#ifdef _WIN32
    SetEnvironmentVariableA(name, nullptr);
#else
    unsetenv(name);
#endif
}

// Ended only once the program has started its copy and said so, so that the end always finds both.
TEST(ProgramRunTest, EndingAProgramEndsWhatItStarted)
{
    TTempDir dir;
    const std::filesystem::path pidFile = dir / "ids";
    SetVariable("CORVANE_TEST_PID_FILE", pidFile.string());
    const TProgramEnd end = RunProgram(BuiltProgram("HangingProgram").u16string(), {},
                                       UntilStopped([&] { return std::filesystem::exists(pidFile); }));
    UnsetVariable("CORVANE_TEST_PID_FILE");

    EXPECT_EQ(end.Kind, TProgramEnd::TKind::TimedOut);
    const auto ended = HangingProgramAndCopyEnded(pidFile);
    ASSERT_TRUE(ended.has_value());
    EXPECT_TRUE(*ended);
}

#ifndef _WIN32
// A connect command's shape: a shell that runs a program in the background and waits, with a
// secret in its environment. Afterwards no process of the group runs and none holds the secret.
TEST(ProgramRunTest, EndingAProgramKillsItsWholeProcessGroup)
{
    TTempDir dir;
    const std::string entry = "CORVANE_TEST_SECRET=" + dir.Path().filename().string();
    const std::filesystem::path report = dir / "report";
    SetVariable("CORVANE_TEST_SECRET", dir.Path().filename().string());
    const std::string script = "sleep 600 & echo $$ $! > " + report.string() + ".partial; mv " + report.string() +
                               ".partial " + report.string() + "; wait";
    const TProgramEnd end =
        RunProgram(u"/bin/sh", {u"-c", U16(script)}, UntilStopped([&] { return std::filesystem::exists(report); }));
    UnsetVariable("CORVANE_TEST_SECRET");

    EXPECT_EQ(end.Kind, TProgramEnd::TKind::TimedOut);
    const std::vector<unsigned long> ids = ProcessIdsInFile(report);
    ASSERT_EQ(ids.size(), 2u);
    EXPECT_FALSE(ProcessRuns(ids[0]));
    EXPECT_FALSE(ProcessRuns(ids[1]));
    // The shell led the group: nothing of it is left.
    EXPECT_EQ(ProcessesOfGroup(ids[0]), std::vector<unsigned long>{});
    EXPECT_EQ(ProcessesWithEnvironmentEntry(entry), std::vector<unsigned long>{});
}

TEST(ProgramRunTest, ProgramLeadsAGroupOfItsOwn)
{
    TTempDir dir;
    const std::filesystem::path report = dir / "report";
    // The shell's id and its group, from its own stat line.
    const std::string script = "set -- $(cat /proc/$$/stat); echo $1 $5 > " + report.string();
    const TProgramEnd end = RunProgram(u"/bin/sh", {u"-c", U16(script)}, UntilStopped());
    EXPECT_EQ(end.Kind, TProgramEnd::TKind::Exited);
    EXPECT_EQ(end.Status, 0u);
    const std::vector<unsigned long> ids = ProcessIdsInFile(report);
    ASSERT_EQ(ids.size(), 2u);
    EXPECT_EQ(ids[0], ids[1]);
    EXPECT_NE(ids[1], static_cast<unsigned long>(getpgrp()));
}

// For programs that end by themselves at once: a hang fails within the minute instead.
TRunOptions WithinAMinute()
{
    TRunOptions options;
    options.Timeout = std::chrono::seconds(60);
    return options;
}

// A program that dies of a signal (a crash in the RAS library) takes its group with it: the
// shell starts a program in the background, says so, and kills itself with SIGSEGV.
TEST(ProgramRunTest, ProgramThatDiesOfASignalTakesItsGroupWithIt)
{
    TTempDir dir;
    const std::filesystem::path report = dir / "report";
    const std::string script = "sleep 600 & echo $$ $! > " + report.string() + "; kill -SEGV $$; wait";
    const TProgramEnd end = RunProgram(u"/bin/sh", {u"-c", U16(script)}, WithinAMinute());

    EXPECT_EQ(end.Kind, TProgramEnd::TKind::Signalled);
    EXPECT_EQ(end.Status, static_cast<std::uint32_t>(SIGSEGV));
    const std::vector<unsigned long> ids = ProcessIdsInFile(report);
    ASSERT_EQ(ids.size(), 2u);
    EXPECT_FALSE(ProcessRuns(ids[1]));
    EXPECT_EQ(ProcessesOfGroup(ids[0]), std::vector<unsigned long>{});
}

// A program that ends by itself leaves what it started running (a VPN client its connect command
// started may be the connection), and none of it becomes the caller's child: nothing the caller
// would have to reap.
TEST(ProgramRunTest, ProgramThatEndsByItselfLeavesWhatItStartedAlone)
{
    TTempDir dir;
    const std::filesystem::path report = dir / "report";
    const std::string script = "sleep 600 & echo $! > " + report.string();
    const TProgramEnd end = RunProgram(u"/bin/sh", {u"-c", U16(script)}, WithinAMinute());

    EXPECT_EQ(end.Kind, TProgramEnd::TKind::Exited);
    const std::vector<unsigned long> ids = ProcessIdsInFile(report);
    ASSERT_EQ(ids.size(), 1u);
    const TScopeExit endIt([&] { kill(static_cast<pid_t>(ids[0]), SIGKILL); });
    EXPECT_TRUE(ProcessRuns(ids[0]));
    EXPECT_NE(ParentOf(ids[0]), static_cast<unsigned long>(getpid()));
}

// The caller's ignored signals and blocked mask do not reach the program: an ignored SIGCHLD would
// break its own waits, an ignored SIGXFSZ or SIGPIPE change its failures, an ignored SIGHUP keep
// its parent-death signal from ending it. And a caller that ignores SIGCHLD still gets the status.
TEST(ProgramRunTest, ProgramStartsWithTheSignalStateItsCallerDoesNotImpose)
{
    constexpr int Ignored[] = {SIGHUP, SIGPIPE, SIGCHLD, SIGXFSZ};
    std::vector<void (*)(int)> previous;
    for (int signalNumber : Ignored)
        previous.push_back(signal(signalNumber, SIG_IGN));
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigset_t previousMask;
    pthread_sigmask(SIG_BLOCK, &blocked, &previousMask);
    const TScopeExit restore([&] {
        pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
        for (std::size_t i = 0; i < std::size(Ignored); ++i)
            signal(Ignored[i], previous[i]);
    });

    TTempDir dir;
    const std::filesystem::path report = dir / "report";
    const std::string script = "grep -E '^Sig(Ign|Blk)' /proc/$$/status > " + report.string() + "; exit 7";
    const TProgramEnd end = RunProgram(u"/bin/sh", {u"-c", U16(script)}, WithinAMinute());

    EXPECT_EQ(end.Kind, TProgramEnd::TKind::Exited);
    EXPECT_EQ(end.Status, 7u);
    const TBytes bytes = ReadFileBytes(report);
    std::istringstream lines(std::string(bytes.begin(), bytes.end()));
    std::string name;
    std::string mask;
    while (lines >> name >> mask) {
        const unsigned long long bits = std::stoull(mask, nullptr, 16);
        if (name == "SigBlk:") {
            EXPECT_EQ(bits, 0u) << mask;
        }
        for (int signalNumber : Ignored)
            EXPECT_EQ(bits & (1ull << (signalNumber - 1)), 0u) << name << " " << mask << " signal " << signalNumber;
    }
}
#endif

}  // namespace
