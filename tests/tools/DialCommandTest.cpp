// corvane dial: the real dialer run with the recording RAS double, as a launching program runs it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "dialer/DialerHarness.h"
#include "platform/CodePage.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

using namespace TestSupport;
using namespace DialerTesting;

namespace {

const std::vector<std::string> kFiveItems{"C:\\pb\\rasphone.pbk", "office vpn", "alice", "p@ss, word", "vpn.example"};

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
    const auto run = Dial(kFiveItems);
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
    const auto run = Dial(kFiveItems);
    EXPECT_EQ(run.ExitCode, 1) << run.Err;
    EXPECT_EQ(run.Err, "");
    const auto lines = Lines(run.Out);
    ASSERT_EQ(lines.size(), 1u) << run.Out;
    EXPECT_TRUE(lines[0].starts_with(StatusPrefix(GetParam().DialResult))) << lines[0];
    const bool readBack = SeenStatus(GetParam().DialResult) != static_cast<std::uint32_t>(PosixOtherFailure);
    EXPECT_NE(lines[0].find(readBack ? GetParam().Meaning : "cannot be read back"), std::string::npos) << lines[0];

    const auto json = Dial(kFiveItems, {"--json"});
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
    WriteFileBytes(FHarness.LogFile(), "[2026/01/01 00:00:00] \r\nErrorMsgST/\r\nearlier\r\n/ErrorMsgED\r\n");
    const auto run = Dial({"a", "b", "c"});
    EXPECT_EQ(run.ExitCode, 1) << run.Err;
    const auto lines = Lines(run.Out);
    ASSERT_EQ(lines.size(), 2u) << run.Out;
    EXPECT_TRUE(lines[0].starts_with(StatusPrefix(NoDialResult) + "no dial result was reached")) << lines[0];
    // The block held three items: the list index message, with the first missing index.
    const std::string status = std::string("\t").append(DialerRecordStatus()).append("\t");
    EXPECT_NE(lines[1].find(status), std::string::npos) << lines[1];
    EXPECT_TRUE(lines[1].ends_with(" (3)")) << lines[1];
    EXPECT_FALSE(FHarness.Recorded().has_value());
}

TEST_F(DialCommandTest, NoDialResultAfterTheLogWasRotatedShowsOnlyTheNewRecord)
{
    WriteFileBytes(FHarness.LogFile(),
                   "[2026/01/01 00:00:00] \r\nErrorMsgST/\r\n" + std::string(70000, 'x') + "\r\n/ErrorMsgED\r\n");
    FHarness.UseRasLibrary(TRasLibrary::Missing);
    const auto run = Dial(kFiveItems, {"--json"});
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
    const auto run = Dial(kFiveItems, {}, FDir / "nowhere" / "CorvaneDialer.exe");
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Out, "");
    EXPECT_TRUE(run.Err.starts_with("corvane: no dialer at ")) << run.Err;
    EXPECT_EQ(run.Err.find('\n'), run.Err.size() - 1) << run.Err;
}

TEST_F(DialCommandTest, DialerThatHangsIsStoppedAtTheTimeout)
{
    const auto run = Dial(kFiveItems, {"--timeout", "1"}, BuiltProgram("HangingProgram"));
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Out, "");
    // Standard error is a text stream: Windows ends its line with CR LF.
    EXPECT_TRUE(
        run.Err.starts_with("corvane: the dialer did not end within 1 second and was stopped; the dial's "
                            "outcome is unknown"))
        << run.Err;
    EXPECT_EQ(run.Err.find('\n'), run.Err.size() - 1) << run.Err;
}

TEST_F(DialCommandTest, BadTimeoutIsAUsageError)
{
    for (const char* timeout : {"0", "-5", "1.5", "86401", ""}) {
        const auto run = Dial(kFiveItems, {std::string("--timeout=") + timeout});
        EXPECT_EQ(run.ExitCode, 2) << timeout;
        EXPECT_FALSE(FHarness.Recorded().has_value());
    }
}

}  // namespace
