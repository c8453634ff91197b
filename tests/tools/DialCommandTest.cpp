// corvane dial: the real dialer run with the recording RAS double, as a launching program runs it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "dialer/DialerHarness.h"
#include "platform/CodePage.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/FifoUnblocker.h"
#endif

using namespace TestSupport;
using namespace DialerTesting;

namespace {

const std::string EarlierRecord = "[2026/01/01 00:00:00] \r\nErrorMsgST/\r\nearlier\r\n/ErrorMsgED\r\n";

const std::vector<std::string> FiveItems{"C:\\pb\\rasphone.pbk", "office vpn", "alice", "p@ss, word", "vpn.example"};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

// The first line's start: the status as it arrives, and on POSIX the dial result read back from it.
std::string StatusPrefix(std::uint32_t dialResult)
{
    const std::uint32_t seen = SeenStatus(dialResult);
    std::string prefix = "exit status " + std::to_string(seen);
    if (seen != dialResult)
        prefix +=
            seen == PosixOtherFailure ? " (dial result unknown)" : " (dial result " + std::to_string(dialResult) + ")";
    return prefix + ": ";
}

// The dialer's messages are Japanese; where the ANSI code page cannot hold them (1252 under
// Wine's C locale) they come back as "?" and no longer match their digest.
std::string DialerRecordStatus()
{
    const std::uint32_t codePage = AnsiCodePage();
    return codePage == 65001 || codePage == 932 ? "ok" : "digest-mismatch";
}

class DialCommandTest : public ::testing::Test {
protected:
    TDialerHarness FHarness;
    TTempDir FDir;

    TCapturedRun Dial(const std::vector<std::string>& items, const std::vector<std::string>& options = {},
                      const std::filesystem::path& dialer = {})
    {
        std::string text;
        for (const std::string& item : items)
            text += item + "\n";
        WriteFileBytes(FDir / "items.txt", text);
        std::vector<std::string> args{"dial", "--dialer", (dialer.empty() ? FHarness.DialerPath() : dialer).string(),
                                      "--items", (FDir / "items.txt").string()};
        args.insert(args.end(), options.begin(), options.end());
        return RunCaptured(BuiltProgram("corvane"), args, {}, FHarness.DialerEnvironment());
    }
};

TEST_F(DialCommandTest, SuccessfulDialExitsZeroAndHandsTheItemsToTheService)
{
    FHarness.SetDialResult(0);
    const auto run = Dial(FiveItems);
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out, "exit status 0: success: the connection was made\n");
    const auto dial = FHarness.Recorded();
    ASSERT_TRUE(dial.has_value());
    EXPECT_EQ(dial->Phonebook, u"C:\\pb\\rasphone.pbk");
    EXPECT_TRUE(FHarness.Logged().empty());
}

struct TResultCase {
    const char* Name;
    std::uint32_t DialResult;
    const char* Meaning;  // part of the meaning: our table's (Wine's service has no texts of its own)
};

class DialResultTest : public DialCommandTest, public ::testing::WithParamInterface<TResultCase> {};

TEST_P(DialResultTest, ReportsTheStatusAndWhatItMeans)
{
    FHarness.SetDialResult(GetParam().DialResult);
    const auto run = Dial(FiveItems);
    EXPECT_EQ(run.ExitCode, 1) << run.Err;
    EXPECT_EQ(run.Err, "");
    const auto lines = Lines(run.Out);
    ASSERT_EQ(lines.size(), 1u) << run.Out;
    EXPECT_TRUE(lines[0].starts_with(StatusPrefix(GetParam().DialResult))) << lines[0];
    const bool readBack = SeenStatus(GetParam().DialResult) != static_cast<std::uint32_t>(PosixOtherFailure);
    EXPECT_NE(lines[0].find(readBack ? GetParam().Meaning : "cannot be read back"), std::string::npos) << lines[0];

    const auto json = Dial(FiveItems, {"--json"});
    EXPECT_EQ(json.ExitCode, 1);
    const std::string dialResult = readBack ? std::to_string(GetParam().DialResult) : "null";
    EXPECT_TRUE(json.Out.starts_with("{\"status\": " + std::to_string(SeenStatus(GetParam().DialResult)) +
                                     ", \"dialResult\": " + dialResult + ", \"meaning\": \""))
        << json.Out;
    EXPECT_TRUE(json.Out.ends_with("\", \"records\": []}\n")) << json.Out;
}

// 868 cannot be carried by a POSIX exit status; Windows reads all its 32 bits.
INSTANTIATE_TEST_SUITE_P(Results, DialResultTest,
                         ::testing::Values(TResultCase{"NoSuchEntry", 623, "no entry of that name"},
                                           TResultCase{"AuthenticationRefused", 691, "authentication refused"},
                                           TResultCase{"NameNotResolved", 868, "could not be resolved"}),
                         [](const ::testing::TestParamInfo<TResultCase>& info) {
                             return std::string(info.param.Name);
                         });

TEST_F(DialCommandTest, NoDialResultShowsTheRecordTheRunAdded)
{
    // An earlier record stays out of the report: only what this run added is shown.
    WriteFileBytes(FHarness.LogFile(), EarlierRecord);
    FHarness.UseRasLibrary(TRasLibrary::Missing);
    const auto run = Dial(FiveItems);
    EXPECT_EQ(run.ExitCode, 1) << run.Err;
    const auto lines = Lines(run.Out);
    ASSERT_EQ(lines.size(), 2u) << run.Out;
    EXPECT_TRUE(lines[0].starts_with(StatusPrefix(NoDialResult) + "no dial result was reached")) << lines[0];
    // The RAS library could not be bound: the binding failure's message, with its code. (The
    // tool no longer makes a block of fewer than five items, so the list index message of a
    // short block cannot be had through dial.)
    const std::string status = std::string("\t").append(DialerRecordStatus()).append("\t");
    EXPECT_NE(lines[1].find(status), std::string::npos) << lines[1];
    EXPECT_TRUE(lines[1].ends_with("C06D007E")) << lines[1];
    EXPECT_FALSE(FHarness.Recorded().has_value());
}

// The dialer adds no record when its log path is one it refuses (260 characters or more): dial
// says so, and the record already in that log is not shown as this run's.
TEST_F(DialCommandTest, NoRecordAddedIsSaidAndNoEarlierRecordIsShown)
{
    std::filesystem::path data = FDir / "data";
    const std::size_t logSuffix = std::string("/Orvex/Common/ErrorLog/CorvaneDialer.log").size();
    while (data.string().size() + logSuffix < 270)
        data /= std::string(std::min<std::size_t>(200, 270 - data.string().size() - logSuffix), 'd');
    const std::filesystem::path logDir = data / "Orvex" / "Common" / "ErrorLog";
    std::error_code error;
    std::filesystem::create_directories(logDir, error);
    if (error)
        GTEST_SKIP() << "this system makes no folder of that length: " << error.message();
    WriteFileBytes(logDir / "CorvaneDialer.log", EarlierRecord);
    FHarness.Environment().emplace_back("PROGRAMDATA", data.string());
    FHarness.UseRasLibrary(TRasLibrary::Missing);

    const auto run = Dial(FiveItems);
    EXPECT_EQ(run.ExitCode, 1) << run.Err;
    const auto lines = Lines(run.Out);
    ASSERT_EQ(lines.size(), 2u) << run.Out;
    EXPECT_TRUE(lines[0].starts_with(StatusPrefix(NoDialResult))) << lines[0];
    EXPECT_TRUE(lines[1].starts_with("this run added no record to ")) << lines[1];
    EXPECT_EQ(run.Out.find("earlier"), std::string::npos) << run.Out;

    const auto json = Dial(FiveItems, {"--json"});
    EXPECT_TRUE(json.Out.ends_with(", \"records\": []}\n")) << json.Out;
    const TBytes log = ReadFileBytes(logDir / "CorvaneDialer.log");
    EXPECT_EQ(std::string(log.begin(), log.end()), EarlierRecord);
}

// Another writer holds the log for the whole run: the dialer cannot add its record and dial
// cannot read the log. The status still comes first, and the records are said to be unreadable.
TEST_F(DialCommandTest, HeldLogStillGivesTheStatusFirst)
{
    WriteFileBytes(FHarness.LogFile(), EarlierRecord);
    FHarness.UseRasLibrary(TRasLibrary::Missing);
    const TFileHold hold(FHarness.LogFile());

    const auto run = Dial(FiveItems);
    EXPECT_EQ(run.ExitCode, 1) << run.Err;
    EXPECT_EQ(run.Err, "");
    const auto lines = Lines(run.Out);
    ASSERT_EQ(lines.size(), 2u) << run.Out;
    EXPECT_TRUE(lines[0].starts_with(StatusPrefix(NoDialResult) + "no dial result was reached")) << lines[0];
    EXPECT_TRUE(lines[1].starts_with("the records this run added cannot be read now (")) << lines[1];
    EXPECT_NE(lines[1].find("corvane read-log "), std::string::npos) << lines[1];

    const auto json = Dial(FiveItems, {"--json"});
    EXPECT_EQ(json.ExitCode, 1) << json.Err;
    EXPECT_TRUE(
        json.Out.starts_with("{\"status\": " + std::to_string(SeenStatus(NoDialResult)) + ", \"dialResult\": 9999, "))
        << json.Out;
    EXPECT_NE(json.Out.find("\"records\": null, \"recordsError\": \"cannot read the records this run added: "),
              std::string::npos)
        << json.Out;
    EXPECT_EQ(json.Out.find('\n'), json.Out.size() - 1) << json.Out;
}

#ifndef _WIN32
// Someone put a FIFO at the log's name: the dialer writes no record there, and dial, reading the
// log for this run's records, neither waits on it nor reads it, but says what it found.
TEST_F(DialCommandTest, FifoAtTheLogNameIsSaidAndNotWaitedOn)
{
    ASSERT_EQ(::mkfifo(FHarness.LogFile().c_str(), 0600), 0);
    FHarness.UseRasLibrary(TRasLibrary::Missing);
    // A dial that blocked on the FIFO would be released by this, and then fail below, not hang.
    const TestSupport::TFifoUnblocker unblocker(FHarness.LogFile());
    const auto run = Dial(FiveItems);
    EXPECT_EQ(run.ExitCode, 1) << run.Err;
    const auto lines = Lines(run.Out);
    ASSERT_EQ(lines.size(), 2u) << run.Out;
    EXPECT_TRUE(lines[0].starts_with(StatusPrefix(NoDialResult))) << lines[0];
    EXPECT_TRUE(lines[1].starts_with("the records this run added cannot be read now (")) << lines[1];
    EXPECT_NE(lines[1].find("a FIFO, not a regular file"), std::string::npos) << lines[1];
}
#endif

TEST_F(DialCommandTest, NoDialResultAfterTheLogWasRotatedShowsOnlyTheNewRecord)
{
    WriteFileBytes(FHarness.LogFile(),
                   "[2026/01/01 00:00:00] \r\nErrorMsgST/\r\n" + std::string(70000, 'x') + "\r\n/ErrorMsgED\r\n");
    FHarness.UseRasLibrary(TRasLibrary::Missing);
    const auto run = Dial(FiveItems, {"--json"});
    EXPECT_EQ(run.ExitCode, 1) << run.Err;
    EXPECT_TRUE(
        run.Out.starts_with("{\"status\": " + std::to_string(SeenStatus(NoDialResult)) + ", \"dialResult\": 9999, "))
        << run.Out;
    // One record, the binding failure's; none of the rotated log's.
    EXPECT_EQ(Lines(run.Out).size(), 3u) << run.Out;
    EXPECT_NE(run.Out.find("\"records\": [\n  {\"time\": \""), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("C06D007E\"}\n]}"), std::string::npos) << run.Out;
    EXPECT_EQ(run.Out.find("xxxx"), std::string::npos);
}

TEST_F(DialCommandTest, MissingDialerIsAClearFailure)
{
    const auto run = Dial(FiveItems, {}, FDir / "nowhere" / "CorvaneDialer.exe");
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Out, "");
    EXPECT_TRUE(run.Err.starts_with("corvane: no dialer at ")) << run.Err;
    EXPECT_EQ(run.Err.find('\n'), run.Err.size() - 1) << run.Err;
}

TEST_F(DialCommandTest, DialerThatHangsIsStoppedAtTheTimeout)
{
    const auto run = Dial(FiveItems, {"--timeout", "1"}, BuiltProgram("HangingProgram"));
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Out, "");
    // Standard error is a text stream: Windows ends its line with CR LF.
    EXPECT_TRUE(
        run.Err.starts_with("corvane: the dialer did not end within 1 second and was stopped; the dial's "
                            "outcome is unknown"))
        << run.Err;
    EXPECT_EQ(run.Err.find('\n'), run.Err.size() - 1) << run.Err;
}

// The hanging dialer starts a copy of itself, as a RAS library may start a program: the timeout
// ends both.
TEST_F(DialCommandTest, TimeoutEndsWhatTheDialerStarted)
{
    const std::filesystem::path ids = FDir / "ids";
    WriteFileBytes(FDir / "items.txt", "pb\nentry\nuser\npass\nphone\n");
    auto environment = FHarness.DialerEnvironment();
    environment.emplace_back("CORVANE_TEST_PID_FILE", ids.string());
    const auto run = RunCaptured(BuiltProgram("corvane"),
                                 {"dial", "--dialer", BuiltProgram("HangingProgram").string(), "--items",
                                  (FDir / "items.txt").string(), "--timeout", "1"},
                                 {}, environment);
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_NE(run.Err.find("the dial's outcome is unknown (whatever the dialer had started was ended with it)"),
              std::string::npos)
        << run.Err;
    const auto ended = HangingProgramAndCopyEnded(ids);
    if (!ended)
        GTEST_SKIP() << "the hanging dialer had not started its copy within the second; the platform test "
                        "ProgramRunTest.EndingAProgramEndsWhatItStarted ends it at a chosen moment instead";
    EXPECT_TRUE(*ended);
}

// AddressSanitizer catches a SIGSEGV, reports it and exits with 1: a stand-in for a crash must die
// of the signal, as it does in a build without the sanitizer.
std::string AsanOptionsLettingSegvKill()
{
    const char* asanOptions = std::getenv("ASAN_OPTIONS");
    return std::string(asanOptions != nullptr ? asanOptions : "") + ":handle_segv=0";
}

// A dialer that crashes once it has started a program of its own: what it started ends with it,
// on POSIX with its process group, on Windows with its job.
TEST_F(DialCommandTest, CrashingDialerEndsWhatItStarted)
{
    const std::filesystem::path ids = FDir / "ids";
    FHarness.Environment().emplace_back("ASAN_OPTIONS", AsanOptionsLettingSegvKill());
    FHarness.Environment().emplace_back("CORVANE_TEST_PID_FILE", ids.string());
    FHarness.Environment().emplace_back("CORVANE_TEST_CRASH", "1");
    const auto run = Dial(FiveItems, {"--timeout", "120"}, BuiltProgram("HangingProgram"));
    EXPECT_EQ(run.ExitCode, 1) << run.Err;
    const auto ended = HangingProgramAndCopyEnded(ids, 10);
    ASSERT_TRUE(ended.has_value()) << "the crashing dialer wrote no ids";
    EXPECT_TRUE(*ended);
}

// corvane dial killed at once mid-dial (SIGKILL, TerminateProcess): the hanging dialer and the copy
// it started end too, on POSIX through their parent-death signal, on Windows with the job.
TEST_F(DialCommandTest, KilledToolEndsTheHangingDialerAndWhatItStarted)
{
    const std::filesystem::path ids = FDir / "ids";
    FHarness.Environment().emplace_back("CORVANE_TEST_PID_FILE", ids.string());
    auto run = std::async(std::launch::async, [&] {
        return Dial(FiveItems, {"--timeout", "120"}, BuiltProgram("HangingProgram"));
    });
    ASSERT_TRUE(EventuallyTrue([&] { return std::filesystem::exists(ids); }, 60)) << "the hanging dialer did not start";
    const std::vector<unsigned long> started = ProcessIdsInFile(ids);
    ASSERT_FALSE(started.empty());
    const std::optional<unsigned long> tool = ChildAbove(started[0]);
    ASSERT_TRUE(tool.has_value());
    KillProcess(*tool);

    ASSERT_EQ(run.wait_for(std::chrono::seconds(60)), std::future_status::ready) << "corvane dial did not end";
    run.get();
    const auto ended = HangingProgramAndCopyEnded(ids, 30);
    ASSERT_TRUE(ended.has_value());
    EXPECT_TRUE(*ended);
}

#ifndef _WIN32
// The real dialer with the POSIX RAS layer beside it and a phonebook whose connect command holds
// the password in its environment, runs a program in the background and waits: the shape of a
// connect command that brings a VPN client up. The command writes "<its id> <the program's id>"
// to the report once both run.
class DialCommandThroughTheLayerTest : public DialCommandTest {
protected:
    const std::filesystem::path FReport = FDir / "report";
    const std::string FPassword = "pw-" + FDir.Path().filename().string();

    std::vector<std::string> ItemsOfHangingCommand()
    {
        FHarness.UseRasLibrary(TRasLibrary::Missing);
        std::filesystem::copy_file(ProgramDir() / "librasapi32.so",
                                   FHarness.DialerPath().parent_path() / "librasapi32.so");
        const std::string report = FReport.string();
        WriteFileBytes(FDir / "book.pbk", "[office]\nCommand=sh -c \"sleep 600 & echo $$ $! > " + report +
                                              ".partial; mv " + report + ".partial " + report + "; wait\"\n");
        return {(FDir / "book.pbk").string(), "office", "alice", FPassword, "0312345678"};
    }

    // corvane dial on a thread of its own, so that the test can act on it while it runs.
    std::future<TCapturedRun> DialInBackground(const std::vector<std::string>& items)
    {
        return std::async(std::launch::async, [this, items] { return Dial(items, {"--timeout", "120"}); });
    }

    // The ids of the connect command and its background program once both run.
    std::vector<unsigned long> AwaitConnectCommand()
    {
        if (!EventuallyTrue([&] { return std::filesystem::exists(FReport); }, 60))
            return {};
        return ProcessIdsInFile(FReport);
    }

    // Whether any process still holds the password, in its environment or on its command line.
    std::vector<unsigned long> PasswordHolders() const
    {
        std::vector<unsigned long> holders = ProcessesWithEnvironmentEntry("CORVANE_RAS_PASSWORD=" + FPassword);
        const std::vector<unsigned long> onCommandLine = ProcessesWithCommandLineHolding(FPassword);
        holders.insert(holders.end(), onCommandLine.begin(), onCommandLine.end());
        return holders;
    }
};

// After the timeout none of them runs.
TEST_F(DialCommandThroughTheLayerTest, TimeoutEndsTheConnectCommandThatHoldsThePassword)
{
    const auto run = Dial(ItemsOfHangingCommand(), {"--timeout", "1"});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Out, "");
    EXPECT_NE(run.Err.find("the dial's outcome is unknown"), std::string::npos) << run.Err;
    // Nothing, wherever it runs, still holds the password.
    EXPECT_EQ(PasswordHolders(), std::vector<unsigned long>{});
    if (!std::filesystem::exists(FReport))
        GTEST_SKIP() << "the dialer had not started its connect command within the second; "
                        "ProgramRunTest.EndingAProgramKillsItsWholeProcessGroup ends a group at a chosen moment";
    const std::vector<unsigned long> started = ProcessIdsInFile(FReport);
    ASSERT_EQ(started.size(), 2u);
    EXPECT_FALSE(ProcessRuns(started[0]));
    EXPECT_FALSE(ProcessRuns(started[1]));
}

// A crash in the RAS library mid-dial (SIGSEGV sent to the dialer): the tool reports it, and what
// the dialer had started is ended before the tool says so.
TEST_F(DialCommandThroughTheLayerTest, DialerThatCrashesMidDialLeavesNothingHoldingThePassword)
{
    const std::vector<std::string> items = ItemsOfHangingCommand();
    FHarness.Environment().emplace_back("ASAN_OPTIONS", AsanOptionsLettingSegvKill());
    auto run = DialInBackground(items);
    const std::vector<unsigned long> started = AwaitConnectCommand();
    ASSERT_EQ(started.size(), 2u) << "the connect command did not start";
    const std::optional<unsigned long> dialer = ParentOf(started[0]);
    ASSERT_TRUE(dialer.has_value());
    ASSERT_EQ(kill(static_cast<pid_t>(*dialer), SIGSEGV), 0);

    ASSERT_EQ(run.wait_for(std::chrono::seconds(60)), std::future_status::ready) << "corvane dial did not end";
    const TCapturedRun ended = run.get();
    EXPECT_EQ(ended.ExitCode, 1);
    EXPECT_NE(ended.Err.find("the dialer was ended by signal 11"), std::string::npos) << ended.Err;
    EXPECT_EQ(PasswordHolders(), std::vector<unsigned long>{});
    EXPECT_FALSE(ProcessRuns(started[0]));
    EXPECT_FALSE(ProcessRuns(started[1]));
}

// corvane dial killed mid-dial by a signal it cannot forward: the dialer ends its group itself.
TEST_F(DialCommandThroughTheLayerTest, KilledToolLeavesNothingHoldingThePassword)
{
    auto run = DialInBackground(ItemsOfHangingCommand());
    const std::vector<unsigned long> started = AwaitConnectCommand();
    ASSERT_EQ(started.size(), 2u) << "the connect command did not start";
    const std::optional<unsigned long> tool = ChildAbove(started[0]);
    ASSERT_TRUE(tool.has_value());
    ASSERT_EQ(kill(static_cast<pid_t>(*tool), SIGKILL), 0);

    ASSERT_EQ(run.wait_for(std::chrono::seconds(60)), std::future_status::ready) << "corvane dial did not end";
    EXPECT_EQ(run.get().ExitCode, 128 + SIGKILL);
    EXPECT_TRUE(EventuallyTrue([&] { return PasswordHolders().empty(); }, 10))
        << "still holding the password: " << ::testing::PrintToString(PasswordHolders());
    EXPECT_FALSE(ProcessRuns(started[0]));
    EXPECT_FALSE(ProcessRuns(started[1]));
}

// A SIGTERM to corvane dial ends the dialer's group before the tool goes: the hanging dialer and
// the copy it started.
TEST_F(DialCommandTest, TerminatedToolEndsTheHangingDialerAndWhatItStarted)
{
    const std::filesystem::path ids = FDir / "ids";
    FHarness.Environment().emplace_back("CORVANE_TEST_PID_FILE", ids.string());
    auto run = std::async(std::launch::async, [&] {
        return Dial(FiveItems, {"--timeout", "120"}, BuiltProgram("HangingProgram"));
    });
    ASSERT_TRUE(EventuallyTrue([&] { return std::filesystem::exists(ids); }, 60)) << "the hanging dialer did not start";
    const std::vector<unsigned long> started = ProcessIdsInFile(ids);
    ASSERT_FALSE(started.empty());
    const std::optional<unsigned long> tool = ChildAbove(started[0]);
    ASSERT_TRUE(tool.has_value());
    ASSERT_EQ(kill(static_cast<pid_t>(*tool), SIGTERM), 0);

    ASSERT_EQ(run.wait_for(std::chrono::seconds(60)), std::future_status::ready) << "corvane dial did not end";
    EXPECT_EQ(run.get().ExitCode, 128 + SIGTERM);
    const auto ended = HangingProgramAndCopyEnded(ids, 10);
    ASSERT_TRUE(ended.has_value());
    EXPECT_TRUE(*ended);
}
#endif

// What the dialer writes goes to the tool's standard error, never among its own output; the
// dialer reads nothing of the tool's standard input.
TEST_F(DialCommandTest, DialerOutputGoesToStandardError)
{
    WriteFileBytes(FDir / "items.txt", "pb\nentry\nuser\npass\nphone\n");
    const auto run = RunCaptured(
        BuiltProgram("corvane"),
        {"dial", "--dialer", BuiltProgram("TalkingProgram").string(), "--items", (FDir / "items.txt").string()},
        "typed at the tool\n", FHarness.DialerEnvironment());
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out, "exit status 0: success: the connection was made\n");
    EXPECT_NE(run.Err.find("talking program: standard output, 0 bytes of standard input"), std::string::npos)
        << run.Err;
    EXPECT_NE(run.Err.find("talking program: standard error"), std::string::npos) << run.Err;
}

TEST_F(DialCommandTest, LongestTimeoutIsTaken)
{
    FHarness.SetDialResult(0);
    const auto run = Dial(FiveItems, {"--timeout", "86400"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out, "exit status 0: success: the connection was made\n");
}

TEST_F(DialCommandTest, BadTimeoutIsAUsageError)
{
    for (const char* timeout : {"0", "-5", "1.5", "86401", ""}) {
        const auto run = Dial(FiveItems, {std::string("--timeout=") + timeout});
        EXPECT_EQ(run.ExitCode, 2) << timeout;
        EXPECT_FALSE(FHarness.Recorded().has_value());
    }
}

}  // namespace
