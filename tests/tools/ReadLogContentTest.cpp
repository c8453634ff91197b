// corvane read-log against logs that did not come from the dialer: records it accepts, and bytes
// that must never reach a terminal as they stand.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "CorvaneUtil/CorvaneUtil.h"
#include "platform/CodePage.h"
#include "support/ChildProcess.h"
#include "support/JsonReader.h"
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

// One entry of the JSON output, its strings decoded: time, status, message.
using TJsonEntry = std::array<std::string, 3>;

// The entries of read-log's JSON output, which must parse as an array of objects with exactly the
// three string members.
std::vector<TJsonEntry> JsonEntries(const std::string& output)
{
    std::vector<TJsonEntry> entries;
    const TJsonValue document = ParseJson(output);
    EXPECT_EQ(document.Kind, TJsonValue::TKind::Array);
    for (const TJsonValue& item : document.Items) {
        EXPECT_EQ(item.Kind, TJsonValue::TKind::Object);
        EXPECT_EQ(item.Members.size(), 3u);
        TJsonEntry entry;
        const char* names[] = {"time", "status", "message"};
        for (std::size_t i = 0; i < entry.size(); ++i) {
            EXPECT_EQ(item[names[i]].Kind, TJsonValue::TKind::String);
            entry[i] = item[names[i]].Text;
        }
        entries.push_back(entry);
    }
    return entries;
}

// Bytes taken one for one as the code points U+0000 to U+00FF, in UTF-8: how the JSON output
// carries a byte of a body that is no text.
std::string Latin1AsUtf8(std::string_view bytes)
{
    std::string out;
    for (const char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        if (c < 0x80) {
            out += byte;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

struct TLogCase {
    const char* Name;
    std::string Log;
    int ExitCode;
    std::string Text;              // the text output, exactly
    std::vector<TJsonEntry> Json;  // the JSON output, decoded
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
    EXPECT_EQ(JsonEntries(run.Out), GetParam().Json) << run.Out;
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

// A frame that does not parse is one truncated record; its first bytes up to a CR (at most 64)
// stand as its time stamp.
std::string GarbageTime()
{
    const std::string bytes = BinaryGarbage();
    return bytes.substr(0, std::min<std::size_t>(64, bytes.find('\r')));
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
    ::testing::Values(
        TLogCase{"OnlyAFallbackRecordIsAccepted",
                 Record("2026/12/10 10:00:01", "???????????????"),
                 0,
                 "2026/12/10 10:00:01\tfallback\t???????????????\n",
                 {{"2026/12/10 10:00:01", "fallback", "???????????????"}}},
        TLogCase{"OnlyAPlainRecordIsAccepted",
                 Record("2026/12/10 10:00:00", "written in plain"),
                 0,
                 "2026/12/10 10:00:00\tplain\twritten in plain\n",
                 {{"2026/12/10 10:00:00", "plain", "written in plain"}}},
        TLogCase{"QuotesAndBackslashesInAPlainBody",
                 Record("2026/12/10 10:00:00", "say \"hi\" \\ \"\""),
                 0,
                 "2026/12/10 10:00:00\tplain\tsay \"hi\" \\\\ \"\"\n",
                 {{"2026/12/10 10:00:00", "plain", "say \"hi\" \\ \"\""}}},
        // A "[" in a time ends it (a torn time followed by the next record looks so): what stands
        // before it is damaged, and what follows it is read as a record of its own.
        TLogCase{"EscapeSequencesInTheTimeStamp",
                 Record("\x1b]0;pwned\x07\x1b[31m", "x y"),
                 1,
                 "\\u001b]0;pwned\\u0007\\u001b\tdamaged\t\n31m\tplain\tx y\n",
                 {{"\x1b]0;pwned\x07\x1b", "damaged", ""}, {"31m", "plain", "x y"}}},
        TLogCase{"ControlAndHighBytesInAPlainBody",
                 Record("2026/12/10 10:00:00",
                        "\x1b[2J\x9b"
                        "31m\xff\tend"),
                 0,
                 "2026/12/10 10:00:00\tplain\t\\u001b[2J\\x9b31m\\xff\\tend\n",
                 {{"2026/12/10 10:00:00", "plain",
                   "\x1b[2J\xc2\x9b"
                   "31m\xc3\xbf\tend"}}},
        TLogCase{"DelAndC1BytesInAPlainBody",
                 Record("2026/12/10 10:00:00",
                        "a\x7f"
                        "b\x85"
                        "c\x9f"
                        "d"),
                 0,
                 "2026/12/10 10:00:00\tplain\ta\\u007fb\\x85c\\x9fd\n",
                 {{"2026/12/10 10:00:00", "plain",
                   "a\x7f"
                   "b\xc2\x85"
                   "c\xc2\x9f"
                   "d"}}},
        // A write that fell short left the first record torn, and the next was glued to it: the
        // torn bytes are one entry, and every whole record after them is read.
        TLogCase{"TornRecordFollowedByWholeOnes",
                 Record("2026/12/10 10:00:00", "AAAAAAAAAAAA").substr(0, 46) +
                     Record("2026/12/10 10:00:01", "written in plain") +
                     Record("2026/12/10 10:00:02", "???????????????"),
                 1,
                 "2026/12/10 10:00:00\tdamaged\tAAAAAAAAA\n"
                 "2026/12/10 10:00:01\tplain\twritten in plain\n"
                 "2026/12/10 10:00:02\tfallback\t???????????????\n",
                 {{"2026/12/10 10:00:00", "damaged", "AAAAAAAAA"},
                  {"2026/12/10 10:00:01", "plain", "written in plain"},
                  {"2026/12/10 10:00:02", "fallback", "???????????????"}}},
        TLogCase{"GarbageBetweenWholeRecords",
                 Record("2026/12/10 10:00:00", "first one") + std::string("\0\x01junk\r\n] ", 10) +
                     Record("2026/12/10 10:00:01", "second one"),
                 1,
                 "2026/12/10 10:00:00\tplain\tfirst one\n"
                 "\\u0000\\u0001junk\tdamaged\t\n"
                 "2026/12/10 10:00:01\tplain\tsecond one\n",
                 {{"2026/12/10 10:00:00", "plain", "first one"},
                  {std::string("\0\x01junk", 6), "damaged", ""},
                  {"2026/12/10 10:00:01", "plain", "second one"}}},
        // A time torn by a short write and glued to the next record: the "[" ends the torn time,
        // which is damaged, and the next record is whole.
        TLogCase{"TornTimeRunningIntoTheNextRecord",
                 "[2026/12/10 10:0" + Record("2026/12/10 10:00:01", "written in plain"),
                 1,
                 "2026/12/10 10:0\tdamaged\t\n"
                 "2026/12/10 10:00:01\tplain\twritten in plain\n",
                 {{"2026/12/10 10:0", "damaged", ""}, {"2026/12/10 10:00:01", "plain", "written in plain"}}},
        // A damaged stretch's time ends before its line break, which is no part of it.
        TLogCase{"TornTimeEndingItsLine",
                 "[2026/12/10 10:0\r\n" + Record("2026/12/10 10:00:01", "written in plain"),
                 1,
                 "2026/12/10 10:0\tdamaged\t\n"
                 "2026/12/10 10:00:01\tplain\twritten in plain\n",
                 {{"2026/12/10 10:0", "damaged", ""}, {"2026/12/10 10:00:01", "plain", "written in plain"}}},
        // A time stamp is one line: one broken over two frames no record, even with a whole frame
        // after it.
        TLogCase{"TimeOverTwoLines",
                 "[2026/12/10\r\n10:00:00] \r\nErrorMsgST/\r\nbody\r\n/ErrorMsgED\r\n",
                 1,
                 "2026/12/10\ttruncated\t\n",
                 {{"2026/12/10", "truncated", ""}}},
        TLogCase{"RecordCutShortByTheEndOfTheFile",
                 Record("2026/12/10 10:00:01", "whole one") + Record("2026/12/10 10:00:02", "cut").substr(0, 39),
                 1,
                 "2026/12/10 10:00:01\tplain\twhole one\n2026/12/10 10:00:02\ttruncated\tcu\n",
                 {{"2026/12/10 10:00:01", "plain", "whole one"}, {"2026/12/10 10:00:02", "truncated", "cu"}}},
        TLogCase{"BinaryFile", BinaryGarbage(), 1, GarbageLine(), {{Latin1AsUtf8(GarbageTime()), "truncated", ""}}}),
    [](const ::testing::TestParamInfo<TLogCase>& info) { return std::string(info.param.Name); });

// A record whose message holds DEL and a C1 control: the log's key is in the program, so anyone can
// make a record that decrypts to CSI (U+009B), which some terminals obey as ESC [. Under a code
// page that cannot carry U+009B through the body, another C1 control that it can carry stands in.
TEST(ReadLogControls, DecryptedDelAndC1ControlsAreEscapedInTextAndJson)
{
    std::u16string message;
    for (const char16_t c1 : {u'\u009b', u'\u009d', u'\u0080'}) {
        const std::u16string candidate = u"say \"hi\" \u007f[2J" + std::u16string(1, c1) + u"31m";
        std::u16string body;
        ASSERT_TRUE(TCorvaneUtil::Encrypt(TCorvaneUtil::GetHashMD5String(candidate) + candidate,
                                          TCorvaneUtil::ErrorLogKey, body));
        TSecureText plain;
        if (TCorvaneUtil::Decrypt(body, TCorvaneUtil::ErrorLogKey, plain) && plain.size() > 32 &&
            plain.View().substr(32) == candidate) {
            message = candidate;
            break;
        }
    }
    if (message.empty())
        GTEST_SKIP() << "code page " << AnsiCodePage() << " carries none of U+009B, U+009D, U+0080 through a body";
    const char16_t c1 = message[message.size() - 4];

    std::u16string body;
    ASSERT_TRUE(
        TCorvaneUtil::Encrypt(TCorvaneUtil::GetHashMD5String(message) + message, TCorvaneUtil::ErrorLogKey, body));
    TTempDir dir;
    WriteFileBytes(dir / "Dialer.log", Record("2026/12/10 10:00:00", U8(body)));
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c1));

    const auto text = RunCaptured(BuiltProgram("corvane"), {"read-log", (dir / "Dialer.log").string()});
    EXPECT_EQ(text.ExitCode, 0) << text.Err;
    EXPECT_TRUE(IsInertText(text.Out));
    EXPECT_EQ(text.Out, "2026/12/10 10:00:00\tok\tsay \"hi\" \\u007f[2J" + std::string(escaped) + "31m\n");

    const auto json = RunCaptured(BuiltProgram("corvane"), {"read-log", "--json", (dir / "Dialer.log").string()});
    EXPECT_EQ(json.ExitCode, 0) << json.Err;
    EXPECT_TRUE(IsInertText(json.Out));
    EXPECT_NE(json.Out.find(std::string(escaped)), std::string::npos) << json.Out;
    EXPECT_EQ(JsonEntries(json.Out), (std::vector<TJsonEntry>{{"2026/12/10 10:00:00", "ok", U8(message)}})) << json.Out;
}

}  // namespace
