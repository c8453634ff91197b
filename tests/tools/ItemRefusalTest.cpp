// Items that a block would not carry back to the dialer as given: make-params and dial refuse
// them with a line that names the item, and make no block and start no dialer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialer/DialerHarness.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

using namespace TestSupport;
using namespace DialerTesting;

namespace {

// Text as UTF-16LE bytes, with or without its byte-order mark.
std::string Utf16Le(const std::u16string& text, bool mark)
{
    std::string bytes = mark ? "\xFF\xFE" : "";
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

struct TRefusalCase {
    const char* Name;
    std::string Bytes;                 // the items file
    std::vector<std::string> Options;  // --code-page
    std::string Said;                  // part of the one error line
};

void PrintTo(const TRefusalCase& c, std::ostream* os)
{
    *os << c.Name;
}

class ItemRefusalTest : public ::testing::TestWithParam<TRefusalCase> {
protected:
    TTempDir FDir;
    TDialerHarness FHarness;

    void ExpectRefused(const TCapturedRun& run)
    {
        EXPECT_EQ(run.ExitCode, 1);
        EXPECT_EQ(run.Out, "");
        EXPECT_TRUE(run.Err.starts_with("corvane: ")) << run.Err;
        EXPECT_EQ(run.Err.find('\n'), run.Err.size() - 1) << run.Err;
        EXPECT_NE(run.Err.find(GetParam().Said), std::string::npos) << run.Err;
    }
};

TEST_P(ItemRefusalTest, MakeParamsMakesNoBlock)
{
    WriteFileBytes(FDir / "items.txt", GetParam().Bytes);
    std::vector<std::string> args{"make-params", "--at", "2026-03-04 10:15", "--items", (FDir / "items.txt").string()};
    args.insert(args.end(), GetParam().Options.begin(), GetParam().Options.end());
    ExpectRefused(RunCaptured(BuiltProgram("corvane"), args));
}

TEST_P(ItemRefusalTest, DialStartsNoDialer)
{
    WriteFileBytes(FDir / "items.txt", GetParam().Bytes);
    std::vector<std::string> args{"dial", "--dialer", FHarness.DialerPath().string(), "--items",
                                  (FDir / "items.txt").string()};
    args.insert(args.end(), GetParam().Options.begin(), GetParam().Options.end());
    ExpectRefused(RunCaptured(BuiltProgram("corvane"), args, {}, FHarness.DialerEnvironment()));
    EXPECT_FALSE(FHarness.Recorded().has_value());
    EXPECT_TRUE(FHarness.Logged().empty());
}

INSTANTIATE_TEST_SUITE_P(Items, ItemRefusalTest,
                         ::testing::Values(
                             // A NUL ends the item when the block is read: "b" and "x" would come back as two items.
                             TRefusalCase{"NulInsideAnItem",
                                          std::string("pb\nentry\nb\0x\npass\nphone\n", 24),
                                          {},
                                          "item 3 (the user name) holds U+0000"},
                             // UTF-16 without its mark reads as UTF-8 with a NUL after every ASCII character.
                             TRefusalCase{"Utf16LeWithoutMark",
                                          Utf16Le(u"pb\r\nentry\r\nuser\r\npass\r\nphone\r\n", false),
                                          {},
                                          "item 1 (the phonebook path) holds U+0000"},
                             // A file that holds only a byte-order mark holds no item at all (not one empty item).
                             TRefusalCase{"Utf8MarkOnly", "\xEF\xBB\xBF", {}, "and 0 were given"},
                             TRefusalCase{"Utf16LeMarkOnly", "\xFF\xFE", {}, "and 0 were given"},
                             TRefusalCase{"Empty", "", {}, "item 1 (the phonebook path) is missing"},
                             TRefusalCase{"ThreeItems", "pb\nentry\nuser\n", {}, "item 4 (the password) is missing"},
                             // Code page 932 has no "ä": the block would fail its digest on a Japanese installation.
                             TRefusalCase{"NotInCodePage932",
                                          "pb\nentry\nuser\np\xC3\xA4ss\nphone\n",
                                          {"--code-page", "932"},
                                          "item 4 (the password) is not representable in code page 932"}),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
