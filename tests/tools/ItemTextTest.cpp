// Items as make-params and dial read them: UTF-8 with or without its byte-order mark, and
// UTF-16LE with its mark (what Windows PowerShell 5 writes), from a file or redirected input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TestSupport.h"

using namespace TestSupport;

namespace {

// The items, one per line, as UTF-16LE bytes behind their byte-order mark.
std::string Utf16Le(const std::u16string& text)
{
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

const std::string Items = "C:\\pb\\rasphone.pbk\r\n社内VPN\r\nユーザー\r\np@ss\r\n\r\n";
// The items as read-params prints them.
const std::string Shown = "C:\\pb\\rasphone.pbk\n社内VPN\nユーザー\np@ss\n\n";

struct TItemCase {
    const char* Name;
    std::string Bytes;
    bool Valid;
};

class ItemTextTest : public ::testing::TestWithParam<TItemCase> {
protected:
    TTempDir FDir;

    // The block carries its texts as UTF-8 here, so the Japanese items travel under any locale.
    static TCapturedRun MakeParams(const std::vector<std::string>& extra, std::string_view input)
    {
        std::vector<std::string> args{"make-params", "--code-page", "65001", "--at", "2026-03-04 10:15"};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunCaptured(BuiltProgram("corvane"), args, input);
    }

    void ExpectItemsRead(const TCapturedRun& made)
    {
        if (!GetParam().Valid) {
            EXPECT_EQ(made.ExitCode, 1);
            EXPECT_EQ(made.Out, "");
            EXPECT_TRUE(made.Err.starts_with("corvane: ")) << made.Err;
            return;
        }
        ASSERT_EQ(made.ExitCode, 0) << made.Err;
        std::string block = made.Out;
        block.pop_back();
        const auto read = RunCaptured(BuiltProgram("corvane"),
                                      {"read-params", "--code-page", "65001", "--at", "2026-03-04 10:15", block});
        EXPECT_EQ(read.ExitCode, 0) << read.Err;
        EXPECT_EQ(read.Out, Shown);
    }
};

TEST_P(ItemTextTest, ItemsFileIsDecodedByItsMark)
{
    WriteFileBytes(FDir / "items.txt", GetParam().Bytes);
    ExpectItemsRead(MakeParams({"--items", (FDir / "items.txt").string()}, ""));
}

TEST_P(ItemTextTest, RedirectedStandardInputIsDecodedByItsMark)
{
    ExpectItemsRead(MakeParams({}, GetParam().Bytes));
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, ItemTextTest,
    ::testing::Values(TItemCase{"Utf8", Items, true}, TItemCase{"Utf8WithMark", "\xEF\xBB\xBF" + Items, true},
                      TItemCase{"Utf16LeWithMark",
                                Utf16Le(u"C:\\pb\\rasphone.pbk\r\n社内VPN\r\nユーザー\r\np@ss\r\n\r\n"), true},
                      TItemCase{"Utf16LeOddLength", Utf16Le(u"abc") + "x", false},
                      TItemCase{"Utf16LeLoneSurrogate",
                                Utf16Le(u"a\xD800"
                                        u"b"),
                                false},
                      TItemCase{"Utf8Invalid", "ok\n\xC3(\n", false}),
    [](const ::testing::TestParamInfo<TItemCase>& info) { return std::string(info.param.Name); });

}  // namespace
