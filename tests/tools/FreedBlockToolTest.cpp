// No block the heap takes back holds a run of a parameter block after the tool's make-params,
// read-params (accepted and refused) and dial: the commands run in this process, whose frees the
// probe keeps, and the block (made inside the command) is looked for once it is known.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "dialer/FreedBlockProbe.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"
#include "tools/corvane/Commands.h"

namespace {

using TestSupport::U16;

constexpr std::size_t BlockWindow = 16;

class FreedBlockToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const auto reason = FreedBlockProbe::Unavailable())
            GTEST_SKIP() << *reason;
        TestSupport::WriteFileBytes(FItems, "C:\\pbk\\office.pbk\nOffice\ntaro\nTool-Probe-Pw9x!\n03\n");
    }

    // Runs the command with its standard output captured; the recording covers the command only.
    static std::string Run(const char* command, const std::vector<std::string>& args,
                           FreedBlockProbe::TRecording& recording)
    {
        std::vector<std::u16string> wide;
        for (const std::string& arg : args)
            wide.push_back(U16(arg));
        TCommandArgs commandArgs(command, wide);
        int (*const run)(TCommandArgs&) = std::string(command) == "make-params"   ? &MakeParamsCommand
                                          : std::string(command) == "read-params" ? &ReadParamsCommand
                                                                                  : &DialCommand;
        ::testing::internal::CaptureStdout();
        int exitCode = 0;
        try {
            exitCode = run(commandArgs);
        } catch (const EToolFailure&) {
            exitCode = 1;
        }
        std::fflush(stdout);
        recording.Stop();
        const std::string out = ::testing::internal::GetCapturedStdout();
        return std::to_string(exitCode) + ":" + out;
    }

    static std::size_t Copies(const FreedBlockProbe::TRecording& recording, const std::string& block,
                              std::string& findings)
    {
        return recording.CountCopies(U16(block), BlockWindow, BlockWindow, findings);
    }

    std::string MadeBlock()
    {
        FreedBlockProbe::TRecording recording;
        const std::string out = Run("make-params", {"--at", "2026-03-04 10:15", "--items", FItems.string()}, recording);
        EXPECT_TRUE(out.starts_with("0:")) << out;
        return out.substr(2, out.find('\n') - 2);
    }

    const TestSupport::TTempDir FDir;
    const std::filesystem::path FItems = FDir / "items.txt";
};

TEST_F(FreedBlockToolTest, MakeParamsLeavesNoCopy)
{
    FreedBlockProbe::TRecording recording;
    const std::string out = Run("make-params", {"--at", "2026-03-04 10:15", "--items", FItems.string()}, recording);
    ASSERT_TRUE(out.starts_with("0:")) << out;
    ASSERT_TRUE(recording.Complete());
    std::string findings;
    EXPECT_EQ(Copies(recording, out.substr(2, out.find('\n') - 2), findings), 0u) << findings;
}

TEST_F(FreedBlockToolTest, ReadParamsLeavesNoCopy)
{
    const std::string block = MadeBlock();
    for (const auto& [at, expected] : {std::pair{"2026-03-04 10:16", "0:"}, std::pair{"2026-03-04 10:30", "1:"}}) {
        FreedBlockProbe::TRecording recording;
        const std::string out = Run("read-params", {"--at", at, block}, recording);
        EXPECT_TRUE(out.starts_with(expected)) << out;
        ASSERT_TRUE(recording.Complete());
        std::string findings;
        EXPECT_EQ(Copies(recording, block, findings), 0u) << "read at " << at << "\n" << findings;
    }
}

TEST_F(FreedBlockToolTest, DialLeavesNoCopy)
{
    // A stand-in dialer keeps the block it was given, which is how the test learns it.
    const std::string kept = (FDir / "argument").string();
    setenv("CORVANE_TEST_ARGUMENT_FILE", kept.c_str(), 1);
    FreedBlockProbe::TRecording recording;
    const std::string out =
        Run("dial", {"--dialer", TestSupport::BuiltProgram("ArgumentKeeper").string(), "--items", FItems.string()},
            recording);
    unsetenv("CORVANE_TEST_ARGUMENT_FILE");
    EXPECT_TRUE(out.starts_with("0:")) << out;
    ASSERT_TRUE(recording.Complete());
    const TBytes argument = TestSupport::ReadFileBytes(kept);
    const std::string block(argument.begin(), argument.end());
    ASSERT_GT(block.size(), 2 * BlockWindow);
    std::string findings;
    EXPECT_EQ(Copies(recording, block, findings), 0u) << findings;
}

}  // namespace
