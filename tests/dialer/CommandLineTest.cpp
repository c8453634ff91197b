// The parameter block does not stay readable in the dialer's command line while it dials: once
// read, it is overwritten with placeholders of the same length where other processes read the
// command line, and the copy the dialer read is wiped.

#include <gtest/gtest.h>

#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "CorvaneUtil/CorvaneUtil.h"
#include "dialer/BackgroundDial.h"
#include "dialer/DialerEntry.h"
#include "dialer/DialerHarness.h"
#include "dialer/FreedBlockProbe.h"
#include "platform/Process.h"
#include "platform/RasRecords.h"
#include "support/TestSupport.h"

using namespace DialerTesting;

namespace {

const std::vector<std::u16string> FiveItems{u"book", u"entry", u"user", u"password", u"123"};

// Generous: a loaded machine under Wine starts a process in seconds, never in a minute.
constexpr int Patience = 60;

std::string Placeholders(std::size_t count)
{
    return std::string(count, static_cast<char>(ArgumentPlaceholder));
}

// What another process sees while the dialer waits inside RasDialW.
TEST(CommandLineWhileDialing, ShowsPlaceholdersInsteadOfTheBlock)
{
#ifdef _WIN32
    if (!TestSupport::RunningUnderWine())
        GTEST_SKIP() << "selects the RAS library through Wine's DLL overrides";
#endif
    TDialerHarness harness;
    const std::string block = MakeBlock(FiveItems);
    TBackgroundDial dial(harness, {block}, THold::UntilReleased);

    const std::optional<std::uint32_t> processId = dial.WaitUntilHeld(Patience);
    ASSERT_TRUE(processId) << "the dial never reached the double";
    const std::optional<std::string> commandLine = CommandLineOfProcess(*processId);
    ASSERT_TRUE(commandLine) << "cannot read the dialer's command line";
    EXPECT_EQ(commandLine->find(block.substr(0, 16)), std::string::npos) << *commandLine;
    std::string tail(1, ' ');
    tail += Placeholders(block.size());
    EXPECT_TRUE(commandLine->ends_with(tail)) << *commandLine;
    EXPECT_NE(commandLine->find("CorvaneDialer"), std::string::npos) << *commandLine;
#ifdef _WIN32
    // Windows 8.1 and later also answer this query; Wine 8 does not, and says so here.
    std::string why;
    if (const std::optional<std::string> queried = QueriedCommandLineOfProcess(*processId, why))
        EXPECT_EQ(*queried, *commandLine);
    else
        std::cout << "ProcessCommandLineInformation not answered: " << why << "\n";
#endif

    dial.Release();
    const std::optional<TestSupport::TChildExit> exit = dial.Finish(Patience);
    ASSERT_TRUE(exit) << "the dialer did not end once released";
    EXPECT_EQ(exit->Status, 0u);
    EXPECT_TRUE(harness.Recorded());
}

#ifndef _WIN32

// The dial's items still arrive: the placeholders come after the block was read.
std::uint32_t GPasswordSeen = 0;

std::uint32_t CheckingRasDialW(void*, const char16_t*, void* params, std::uint32_t, void*, void**)
{
    const auto& record = *static_cast<const RASDIALPARAMSW*>(params);
    GPasswordSeen = std::u16string_view(record.szPassword) == u"password" ? 1 : 0;
    return 0;
}

TRasDialWFunction BindCheckingRasDialW()
{
    return &CheckingRasDialW;
}

class CommandLineBlock : public ::testing::Test {
protected:
    void SetUp() override
    {
        Block = MakeBlock(FiveItems);
        Argv = {Program.data(), Block.data(), nullptr};
        SetCommandLine(2, Argv.data());
        GPasswordSeen = 0;
    }

    std::string Program = "CorvaneDialer";
    std::string Block;
    std::vector<char*> Argv;
};

TEST_F(CommandLineBlock, ArgvMemoryHoldsPlaceholdersOnceRead)
{
    const std::size_t length = Block.size();

    EXPECT_EQ(DialCommandLineBlock(&BindCheckingRasDialW), 0u);

    EXPECT_EQ(GPasswordSeen, 1u);
    EXPECT_EQ(std::string(Argv[1]), Placeholders(length));
    EXPECT_EQ(TestSupport::U8(ParamStr(1)), Placeholders(length));
}

TEST_F(CommandLineBlock, LeavesNoCopyOfTheBlockInFreedMemory)
{
    if (const auto reason = FreedBlockProbe::Unavailable())
        GTEST_SKIP() << *reason;
    // The probe takes at most 64 characters; any 16 of them in a row count.
    const std::u16string watched = TestSupport::U16(Block.substr(0, 64));
    FreedBlockProbe::TWatch watch(watched, 16);
    EXPECT_EQ(DialCommandLineBlock(&BindCheckingRasDialW), 0u);
    EXPECT_EQ(GPasswordSeen, 1u);
    EXPECT_EQ(watch.Count(), 0u) << watch.Findings();
}

#endif

}  // namespace
