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

#include "platform/ProgramRun.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
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
    const std::vector<unsigned long> ids = ProcessIdsInFile(pidFile);
    ASSERT_EQ(ids.size(), 2u);
    ASSERT_NE(ids[1], 0u) << "the hanging program could not start its copy";
    EXPECT_FALSE(ProcessRuns(ids[0]));
    EXPECT_FALSE(ProcessRuns(ids[1]));
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
#endif

}  // namespace
