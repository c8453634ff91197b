// corvane read-log against logs that did not come from the dialer: records it accepts, and bytes
// that must never reach a terminal as they stand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TestSupport.h"

using namespace TestSupport;

namespace {

std::string Record(std::string_view time, std::string_view body)
{
    std::string record = "[";
    record.append(time).append("] \r\nErrorMsgST/\r\n").append(body).append("\r\n/ErrorMsgED\r\n");
    return record;
}

// Every byte is printable ASCII, a tab or a line feed: nothing a terminal could obey.
::testing::AssertionResult IsInertText(const std::string& text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!(c >= 0x20 && c < 0x7F) && c != '\t' && c != '\n')
            return ::testing::AssertionFailure()
                   << "byte " << static_cast<unsigned>(c) << " at " << i << " in " << text;
    }
    return ::testing::AssertionSuccess();
}

struct TLogCase {
    const char* Name;
    std::string Log;
    int ExitCode;
    std::string Text;  // the text output, exactly
};

class ReadLogContentTest : public ::testing::TestWithParam<TLogCase> {
protected:
    TTempDir FDir;

    TCapturedRun ReadLog(const std::vector<std::string>& options)
    {
        WriteFileBytes(FDir / "Dialer.log", GetParam().Log);
        std::vector<std::string> args{"read-log"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back((FDir / "Dialer.log").string());
        return RunCaptured(BuiltProgram("corvane"), args);
    }
};

TEST_P(ReadLogContentTest, TextOutputIsEscapedAndExitCodeFollowsTheStatuses)
{
    const auto run = ReadLog({});
    EXPECT_EQ(run.ExitCode, GetParam().ExitCode) << run.Err;
    EXPECT_TRUE(IsInertText(run.Out));
    EXPECT_EQ(run.Out, GetParam().Text);
}

TEST_P(ReadLogContentTest, JsonOutputIsEscapedToo)
{
    const auto run = ReadLog({"--json"});
    EXPECT_EQ(run.ExitCode, GetParam().ExitCode) << run.Err;
    EXPECT_TRUE(IsInertText(run.Out));
    EXPECT_TRUE(run.Out.starts_with("[\n  {\"time\": \"")) << run.Out;
}

// Bytes of every value, in an order no frame survives.
std::string BinaryGarbage()
{
    std::string bytes;
    std::uint32_t state = 12345;
    for (int i = 0; i < 4096; ++i) {
        state = state * 1103515245u + 12345u;
        bytes.push_back(static_cast<char>(i < 256 ? 255 - i : (state >> 16) & 0xFF));
    }
    bytes[0] = '\x1b';
    return bytes;
}

std::string GarbageLine()
{
    // A frame that does not parse is one truncated record; its first bytes up to a CR (at most
    // 64) stand as its time stamp, escaped.
    const std::string bytes = BinaryGarbage();
    std::string out;
    for (std::size_t i = 0; i < 64 && bytes[i] != '\r'; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        char buffer[8];
        if (c >= 0x80)
            std::snprintf(buffer, sizeof buffer, "\\x%02x", c);
        else if (c < 0x20 || c == 0x7F)
            std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
        else
            std::snprintf(buffer, sizeof buffer, "%c", c);
        out += buffer;
    }
    return out + "\ttruncated\t\n";
}

INSTANTIATE_TEST_SUITE_P(
    Logs, ReadLogContentTest,
    ::testing::Values(TLogCase{"OnlyAFallbackRecordIsAccepted", Record("2026/12/10 10:00:01", "???????????????"), 0,
                               "2026/12/10 10:00:01\tfallback\t???????????????\n"},
                      TLogCase{"OnlyAPlainRecordIsAccepted", Record("2026/12/10 10:00:00", "written in plain"), 0,
                               "2026/12/10 10:00:00\tplain\twritten in plain\n"},
                      TLogCase{"EscapeSequencesInTheTimeStamp", Record("\x1b]0;pwned\x07\x1b[31m", "x y"), 0,
                               "\\u001b]0;pwned\\u0007\\u001b[31m\tplain\tx y\n"},
                      TLogCase{"ControlAndHighBytesInAPlainBody",
                               Record("2026/12/10 10:00:00",
                                      "\x1b[2J\x9b"
                                      "31m\xff\tend"),
                               0, "2026/12/10 10:00:00\tplain\t\\u001b[2J\\x9b31m\\xff\\tend\n"},
                      TLogCase{"BinaryFile", BinaryGarbage(), 1, GarbageLine()}),
    [](const ::testing::TestParamInfo<TLogCase>& info) { return std::string(info.param.Name); });

}  // namespace
