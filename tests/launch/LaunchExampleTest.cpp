// The C example (examples/c), built against the SDK layout, run as a launching program: its block
// is read by the dialer itself, which hands the items to the recording RAS double.
#include <gtest/gtest.h>

#include <string>

#include "dialer/DialerHarness.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

using namespace TestSupport;
using namespace DialerTesting;

namespace {

TEST(LaunchExampleTest, CExampleMakesReadsAndDials)
{
    TDialerHarness harness;
    harness.SetDialResult(0);
    const auto run = RunCaptured(
        BuiltProgram("launch_example"),
        {harness.DialerPath().string(), "C:\\pb\\book.pbk", "office vpn", "alice", "pa ss \"word\"", "vpn.example"}, {},
        harness.DialerEnvironment());
    EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    EXPECT_NE(run.Out.find("read back: the five items"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("dial result 0: success: the connection was made"), std::string::npos) << run.Out;
    const auto dial = harness.Recorded();
    ASSERT_TRUE(dial.has_value());
    EXPECT_EQ(dial->Phonebook, u"C:\\pb\\book.pbk");
}

TEST(LaunchExampleTest, CExampleReportsARefusedDial)
{
    TDialerHarness harness;
    harness.SetDialResult(691);
    const auto run =
        RunCaptured(BuiltProgram("launch_example"), {harness.DialerPath().string()}, {}, harness.DialerEnvironment());
    EXPECT_EQ(run.ExitCode, 1) << run.Out << run.Err;
    EXPECT_NE(run.Out.find("dial result 691: "), std::string::npos) << run.Out;
}

}  // namespace
