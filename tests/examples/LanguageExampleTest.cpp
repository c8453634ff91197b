// A launching library's example program, run as its integrator runs it: the command after "--"
// (the example's program and its first arguments) gets the dialer's path as its last argument.
// The example makes a block for a fixed minute, reads it back and dials now; the built dialer
// with the recording RAS double checks both blocks. Natively only.
//
//   corvane_language_example_tests [GoogleTest options] -- <program> [arguments...]

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "corvane/launch.h"
#include "dialer/DialerHarness.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

using namespace TestSupport;
using namespace DialerTesting;

namespace {

std::vector<std::string> GExample;

// What every example hands over, in the block's order.
const std::vector<std::u16string> Items{u"C:\\pb\\rasphone.pbk", u"Office VPN", u"taro.yamada", u"p@ss\u00b1w0rd\u00a7",
                                        u"+81-3-1234-5678"};

// Where the parameters record holds its texts (UTF-16, terminated).
constexpr std::size_t EntryNameOffset = 4;
constexpr std::size_t PhoneNumberOffset = 518;
constexpr std::size_t UserNameOffset = 1034;
constexpr std::size_t PasswordOffset = 1548;

// The fixed minute the examples make their block for, and a clock of the dialer within it.
constexpr const char* FixedMinuteLine = "block for 2026-01-02 03:04: ";
constexpr const char* ClockInFixedMinute = "2026-01-02 03:04:30";

std::u16string TextAt(const TBytes& record, std::size_t offset)
{
    std::u16string text;
    for (std::size_t i = offset; i + 1 < record.size(); i += 2) {
        const char16_t unit = static_cast<char16_t>(record[i] | record[i + 1] << 8);
        if (unit == 0)
            break;
        text.push_back(unit);
    }
    return text;
}

void ExpectTheFiveItems(const std::optional<TRecordedDial>& dial)
{
    ASSERT_TRUE(dial.has_value()) << "the dialer reached no dial";
    EXPECT_EQ(U8(dial->Phonebook), U8(Items[0]));
    EXPECT_EQ(U8(TextAt(dial->Params, EntryNameOffset)), U8(Items[1]));
    EXPECT_EQ(U8(TextAt(dial->Params, UserNameOffset)), U8(Items[2]));
    EXPECT_EQ(U8(TextAt(dial->Params, PasswordOffset)), U8(Items[3]));
    EXPECT_EQ(U8(TextAt(dial->Params, PhoneNumberOffset)), U8(Items[4]));
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

class LanguageExample : public ::testing::Test {
protected:
    TCapturedRun RunExample(TDialerHarness& harness, const std::filesystem::path& dialer = {})
    {
        std::vector<std::string> args(GExample.begin() + 1, GExample.end());
        args.push_back((dialer.empty() ? harness.DialerPath() : dialer).string());
        return RunCaptured(GExample.front(), args, {}, harness.DialerEnvironment());
    }
};

struct TStatusCase {
    const char* Name;
    std::uint32_t DialResult;  // what the recording double returns
    bool CarriedOnPosix;       // whether a POSIX exit status carries it back
};

class ExampleStatus : public LanguageExample, public ::testing::WithParamInterface<TStatusCase> {};

// Statuses other than success, so that an example that reports a status it did not receive fails.
TEST_P(ExampleStatus, DialsWithTheFiveItemsAndReportsTheDialersStatus)
{
    TDialerHarness harness;
    harness.SetDialResult(GetParam().DialResult);

    const TCapturedRun run = RunExample(harness);
    ASSERT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    EXPECT_EQ(run.Err, "");
    const std::vector<std::string> lines = Lines(run.Out);
    ASSERT_EQ(lines.size(), 4u) << run.Out;
    EXPECT_EQ(lines[0], "abi version 1");
    EXPECT_TRUE(lines[1].starts_with(FixedMinuteLine)) << lines[1];
    EXPECT_EQ(lines[2], "read back: 5 items, the same");

    if (GetParam().CarriedOnPosix) {
        // The meaning is the one `corvane explain` gives, whole: the example's buffer handling
        // loses none of it.
        const std::string status = std::to_string(GetParam().DialResult);
        const TCapturedRun explained = RunCaptured(BuiltProgram("corvane"), {"explain", status});
        ASSERT_EQ(explained.ExitCode, 0) << explained.Err;
        const std::string prefix = status + ": ";
        ASSERT_TRUE(explained.Out.starts_with(prefix)) << explained.Out;
        const std::string meaning = explained.Out.substr(prefix.size(), explained.Out.find('\n') - prefix.size());
        EXPECT_EQ(lines[3], "dial result " + status + ": " + meaning);
    } else {
        EXPECT_EQ(lines[3], "dial result unknown: the dialer's end did not carry it");
    }

    ExpectTheFiveItems(harness.Recorded());
}

INSTANTIATE_TEST_SUITE_P(Statuses, ExampleStatus,
                         ::testing::Values(TStatusCase{"DialersOwn", 87, true},
                                           TStatusCase{"AuthenticationRefused", 691, true},
                                           TStatusCase{"BeyondThePosixStatus", 1234, false}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(LanguageExample, BlockOfTheFixedMinuteIsAcceptedByTheDialerInThatMinute)
{
    TDialerHarness exampleHarness;
    const TCapturedRun run = RunExample(exampleHarness);
    ASSERT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    std::string block;
    for (const std::string& line : Lines(run.Out))
        if (line.starts_with(FixedMinuteLine))
            block = line.substr(std::strlen(FixedMinuteLine));
    ASSERT_FALSE(block.empty()) << run.Out;

    TDialerHarness harness;
    // A sanitizer build refuses faketime's preloaded library unless told not to check.
    const char* asanOptions = std::getenv("ASAN_OPTIONS");
    harness.Environment().emplace_back(
        "ASAN_OPTIONS", std::string(asanOptions != nullptr ? asanOptions : "") + ":verify_asan_link_order=0");
    const TChildExit exit =
        harness.RunThrough("faketime", {"-f", ClockInFixedMinute, harness.DialerPath().string(), block});
    EXPECT_EQ(exit.Status, 0u) << exit.Output;
    ExpectTheFiveItems(harness.Recorded());
    EXPECT_TRUE(harness.Logged().empty());
}

// A failure reaches the example as its language's error, carrying the library's return code.
TEST_F(LanguageExample, DialerThatCannotBeStartedIsReportedWithItsReturnCode)
{
    TDialerHarness harness;
    TTempDir dir;
    const TCapturedRun run = RunExample(harness, dir / "no-such-dialer");
    EXPECT_EQ(run.ExitCode, 1) << run.Out;
    const std::string code = std::to_string(CORVANE_E_DIALER_NOT_STARTED);
    EXPECT_EQ(run.Err, "failed: corvane_dial: " + std::string(corvane_error_text(CORVANE_E_DIALER_NOT_STARTED)) + " (" +
                           code + ") (return code " + code + ")\n");
    EXPECT_FALSE(harness.Recorded().has_value());
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--") == 0) {
            GExample.assign(argv + i + 1, argv + argc);
            break;
        }
    if (GExample.empty()) {
        std::fprintf(stderr, "usage: %s [GoogleTest options] -- <example program> [arguments...]\n", argv[0]);
        return 2;
    }
    return RUN_ALL_TESTS();
}
