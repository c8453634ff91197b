// The dialer as a launching program sees it: its exit status on every path, and what it logs.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "CorvaneUtil/CorvaneUtil.h"
#include "dialer/DialerHarness.h"
#include "dialer/RefusalText.h"
#include "platform/CodePage.h"
#include "rtl/StringList.h"
#include "support/TestSupport.h"

using namespace DialerTesting;
using TestSupport::U16;

namespace {

const std::vector<std::u16string> FiveItems{u"/etc/corvane/office.pbk", u"Office", u"taro", u"s3cret pass",
                                            u"0312345678"};

class DialerExitStatus : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifdef _WIN32
        if (!TestSupport::RunningUnderWine())
            GTEST_SKIP() << "selects the RAS library through Wine's DLL overrides";
#endif
    }

    // Exactly one record, whose body decrypts to the message's digest and the message.
    void ExpectLoggedOnce(const std::u16string& message)
    {
        const std::vector<TLoggedMessage> logged = Harness.Logged();
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_EQ(logged[0].Digest, TCorvaneUtil::GetHashMD5String(message));
        EXPECT_EQ(TestSupport::U8(logged[0].Message), TestSupport::U8(AsLogged(message)));
    }

    TDialerHarness Harness;
};

struct TUndecryptableArgument {
    const char* Name;
    std::vector<std::string> Args;
    const std::u16string* Reason;
};

class DialerRejectsArgument : public DialerExitStatus, public ::testing::WithParamInterface<TUndecryptableArgument> {};

TEST_P(DialerRejectsArgument, EndsWith9999AndLogsWhyWithoutTheArgument)
{
    const TestSupport::TChildExit exit = Harness.Run(GetParam().Args);

    EXPECT_EQ(exit.Status, SeenStatus(NoDialResult));
    EXPECT_EQ(exit.Output, "");
    const std::string argument = GetParam().Args.empty() ? "" : GetParam().Args[0];
    ExpectLoggedOnce(RefusalText::Message(U16(argument), *GetParam().Reason));
    EXPECT_FALSE(Harness.Recorded());
}

INSTANTIATE_TEST_SUITE_P(Arguments, DialerRejectsArgument,
                         ::testing::Values(TUndecryptableArgument{"Missing", {}, &RefusalText::NoArgument},
                                           TUndecryptableArgument{"Empty", {""}, &RefusalText::NoArgument},
                                           TUndecryptableArgument{
                                               "NotABlock", {"bm90IGEgYmxvY2s="}, &RefusalText::TooShort}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(DialerExitStatus, BlockOfAnotherMinuteIsRejected)
{
    TStringList list;
    for (const std::u16string& item : FiveItems)
        list.Add(item);
    std::u16string block;
    TCorvaneUtil::EncryptParams(list, block, TLocalDateTime{2001, 1, 1, 9, 30, 0, 0});

    const TestSupport::TChildExit exit = Harness.Run({TestSupport::U8(block)});

    EXPECT_EQ(exit.Status, SeenStatus(NoDialResult));
    EXPECT_FALSE(Harness.Recorded());
    // Told without the block; how far the search for its minute got before its time bound depends
    // on the machine (MinuteWindowTest pins it under a frozen clock).
    const std::vector<TLoggedMessage> logged = Harness.Logged();
    ASSERT_EQ(logged.size(), 1u);
    const std::string message = TestSupport::U8(logged[0].Message);
    EXPECT_EQ(message.rfind(TestSupport::U8(AsLogged(RefusalText::Message(block, RefusalText::NoKey) + u"\r\n")), 0),
              0u)
        << message;
    EXPECT_EQ(message.find(TestSupport::U8(block).substr(0, 16)), std::string::npos);
}

TEST_F(DialerExitStatus, ShortListLogsItsFirstMissingIndexWithoutDialing)
{
    const TestSupport::TChildExit exit = Harness.RunWithItems({u"book", u"entry", u"user"});

    EXPECT_EQ(exit.Status, SeenStatus(NoDialResult));
    ExpectLoggedOnce(u"リストのインデックスが範囲を超えています (3)");
    EXPECT_FALSE(Harness.Recorded());
}

TEST_F(DialerExitStatus, EmptyListLogsMissingIndexZero)
{
    const TestSupport::TChildExit exit = Harness.RunWithItems({});

    EXPECT_EQ(exit.Status, SeenStatus(NoDialResult));
    ExpectLoggedOnce(u"リストのインデックスが範囲を超えています (0)");
}

TEST_F(DialerExitStatus, SuccessfulDialEndsWithZeroAndLogsNothing)
{
    const TestSupport::TChildExit exit = Harness.RunWithItems(FiveItems);

    EXPECT_EQ(exit.Status, 0u);
    EXPECT_EQ(exit.Output, "");
    EXPECT_TRUE(Harness.Recorded());
    EXPECT_FALSE(std::filesystem::exists(Harness.LogFile()));
}

class DialerPassesRasResult : public DialerExitStatus, public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(DialerPassesRasResult, AsItsExitStatusUnlogged)
{
    Harness.SetDialResult(GetParam());

    const TestSupport::TChildExit exit = Harness.RunWithItems(FiveItems);

    EXPECT_EQ(exit.Status, SeenStatus(GetParam()));
    EXPECT_TRUE(Harness.Recorded());
    EXPECT_FALSE(std::filesystem::exists(Harness.LogFile()));
}

// 623: no such entry; 691: authentication refused; 70000 needs more than 16 bits.
INSTANTIATE_TEST_SUITE_P(Codes, DialerPassesRasResult, ::testing::Values(623u, 691u, 70000u),
                         [](const auto& info) { return "Result" + std::to_string(info.param); });

#ifndef _WIN32
// What a POSIX parent receives, written out rather than computed: 256 and 512 would arrive as 0
// and 651 as 139 (a shell's "killed by SIGSEGV") if the low 8 bits went through.
struct TArrival {
    std::uint32_t Result;
    int Arrives;
};

void PrintTo(const TArrival& a, std::ostream* os)
{
    *os << "result " << a.Result << " arriving as " << a.Arrives;
}

class DialerPosixArrival : public DialerExitStatus, public ::testing::WithParamInterface<TArrival> {};

TEST_P(DialerPosixArrival, ParentReceivesTheMappedStatus)
{
    Harness.SetDialResult(GetParam().Result);

    const TestSupport::TChildExit exit = Harness.RunWithItems(FiveItems);

    EXPECT_EQ(exit.Status, static_cast<std::uint32_t>(GetParam().Arrives));
    EXPECT_TRUE(Harness.Recorded());
}

INSTANTIATE_TEST_SUITE_P(Results, DialerPosixArrival,
                         ::testing::Values(TArrival{256, 125}, TArrival{512, 125}, TArrival{651, 51}, TArrival{623, 23},
                                           TArrival{691, 91}, TArrival{800, 100}, TArrival{809, 109},
                                           TArrival{868, 125}, TArrival{87, 120}, TArrival{720, 125}),
                         [](const auto& info) { return "Result" + std::to_string(info.param.Result); });

TEST_F(DialerExitStatus, PosixParentReceives121WhenNoDialResultWasReached)
{
    EXPECT_EQ(Harness.Run({}).Status, 121u);
}

// Under a file-size limit the record that does not fit is refused like one on a full disk: the
// dialer itself keeps SIGXFSZ from ending it (the shell sets only the limit), so every run still
// ends with 9999 and the log holds whole records only.
TEST_F(DialerExitStatus, FileSizeLimitCutsTheRecordBackAndKeepsTheStatus)
{
    const std::string limited = "ulimit -f 1 && exec \"$0\"";
    for (int run = 1; run <= 4; ++run)
        EXPECT_EQ(Harness.RunThrough("/bin/sh", {"-c", limited, Harness.DialerPath().string()}).Status, 121u)
            << "run " << run;

    const std::vector<TLoggedMessage> logged = Harness.Logged();
    // The limit refused at least the last record: fewer than four got in, each of them whole.
    EXPECT_GE(logged.size(), 1u);
    EXPECT_LT(logged.size(), 4u);
    for (const TLoggedMessage& message : logged)
        EXPECT_EQ(message.Message, AsLogged(RefusalText::Message(u"", RefusalText::NoArgument)));
}
#endif

TEST_F(DialerExitStatus, LockedLogLeavesTheStatusAlone)
{
    {
        const TFileHold hold(Harness.LogFile());
        const TestSupport::TChildExit exit = Harness.Run({});
        EXPECT_EQ(exit.Status, SeenStatus(NoDialResult));
        EXPECT_EQ(exit.Output, "");
    }
    EXPECT_EQ(std::filesystem::file_size(Harness.LogFile()), 0u);
}

TEST_F(DialerExitStatus, FailuresAppendOneRecordEach)
{
    Harness.Run({});
    Harness.RunWithItems({u"only"});

    const std::vector<TLoggedMessage> logged = Harness.Logged();
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[0].Message, AsLogged(RefusalText::Message(u"", RefusalText::NoArgument)));
    EXPECT_EQ(logged[1].Message, AsLogged(u"リストのインデックスが範囲を超えています (1)"));
    EXPECT_EQ(logged[1].FirstLine.front(), '[');
    EXPECT_EQ(logged[1].FirstLine.substr(logged[1].FirstLine.size() - 2), "] ");
}

// Code page 932 holds every character of the messages; 1252 holds none of the Japanese ones.
TEST_F(DialerExitStatus, JapaneseMessagesSurviveTheAnsiCodePage)
{
    if (AnsiCodePage() == 1252)
        GTEST_SKIP() << "code page 1252 cannot hold Japanese; see JapaneseMessagesDegradeUnderCodePage1252";
    Harness.RunWithItems({u"a", u"b"});

    const std::vector<TLoggedMessage> logged = Harness.Logged();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(TestSupport::U8(logged[0].Message), "リストのインデックスが範囲を超えています (2)");
}

TEST_F(DialerExitStatus, JapaneseMessagesDegradeUnderCodePage1252)
{
    if (AnsiCodePage() != 1252)
        GTEST_SKIP() << "applies to code page 1252 only; this process has " << AnsiCodePage();
    Harness.RunWithItems({u"a", u"b"});

    const std::vector<TLoggedMessage> logged = Harness.Logged();
    ASSERT_EQ(logged.size(), 1u);
    // Twenty Japanese characters become twenty question marks; the digest still covers the original.
    EXPECT_EQ(TestSupport::U8(logged[0].Message), std::string(20, '?') + " (2)");
    EXPECT_EQ(logged[0].Digest, TCorvaneUtil::GetHashMD5String(u"リストのインデックスが範囲を超えています (2)"));
}

}  // namespace
