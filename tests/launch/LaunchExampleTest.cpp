// The C example (examples/c), built against the SDK layout, run as a launching program: its block
// is read by the dialer itself, which hands the items to the recording RAS double.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
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

#ifdef _WIN32
// The same example as a 32-bit program against the x86 DLL, both as the SDK ships them (scripts/sdk
// leaves them in build/sdk/x86-example and scripts/test names that folder): __stdcall across the
// boundary, a 32-bit launching program starting the 64-bit dialer.
TEST(LaunchExampleTest, CExampleAs32BitProgramMakesReadsAndDials)
{
    const char* folder = std::getenv("CORVANE_X86_EXAMPLE_DIR");
    if (folder == nullptr || *folder == '\0')
        GTEST_SKIP() << "CORVANE_X86_EXAMPLE_DIR does not name the 32-bit example's folder (scripts/sdk makes it)";
    TDialerHarness harness;
    harness.SetDialResult(0);
    TTempDir beside;
    for (const char* name : {"launch_example.exe", "CorvaneLaunch.dll"})
        std::filesystem::copy_file(std::filesystem::path(folder) / name, beside.Path() / name);
    const auto run = RunCaptured(
        beside.Path() / "launch_example.exe",
        {harness.DialerPath().string(), "C:\\pb\\book.pbk", "office vpn", "alice", "pa ss \"word\"", "vpn.example"}, {},
        harness.DialerEnvironment());
    EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    EXPECT_NE(run.Out.find("read back: the five items"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("dial result 0: success: the connection was made"), std::string::npos) << run.Out;
    const auto dial = harness.Recorded();
    ASSERT_TRUE(dial.has_value());
    EXPECT_EQ(dial->Phonebook, u"C:\\pb\\book.pbk");
}
#endif

}  // namespace
