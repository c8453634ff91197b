// No block the heap takes back holds the password in clear after the library's make, read and
// dial: the library frees through the test program's probe like the rest of the process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "dialer/DialerHarness.h"
#include "dialer/FreedBlockProbe.h"
#include "launch/LaunchTesting.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

using namespace LaunchTesting;

namespace {

constexpr std::size_t CopyWindow = 8;
// A short password lives inside a text's own object, a long one in a buffer of its own.
const char* const Passwords[] = {"Pw7!x", "Zq7-probe-Pw9x!launch-library"};

class LaunchFreedBlockTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        if (const auto reason = FreedBlockProbe::Unavailable())
            GTEST_SKIP() << *reason;
    }
    static std::string Password() { return GetParam(); }
    // Held for the test's length: a temporary freed while the watch is on would be found itself.
    const std::u16string FSecret = TestSupport::U16(Password());
    const std::u16string& Secret() const { return FSecret; }
    static std::size_t Window() { return std::min(CopyWindow, Password().size()); }
    static std::vector<std::string> Items() { return {"C:\\pbk\\office.pbk", "Office", "taro", Password(), "03"}; }
};

TEST_P(LaunchFreedBlockTest, MakeLeavesNoCopy)
{
    const std::vector<std::string> items = Items();
    const std::vector<const char*> pointers = Pointers(items);
    std::string block(1024, '\0');
    std::size_t size = block.size();
    FreedBlockProbe::TWatch watch(Secret(), Window());
    ASSERT_EQ(corvane_make_block(pointers.data(), pointers.size(), 65001, &MadeAt, block.data(), &size), CORVANE_OK);
    EXPECT_EQ(watch.Count(), 0u) << watch.Findings();
}

TEST_P(LaunchFreedBlockTest, ReadLeavesNoCopy)
{
    const TMade made = Make(Items(), 65001, &MadeAt);
    ASSERT_EQ(made.Result, CORVANE_OK);
    std::string items(1024, '\0');
    std::size_t size = items.size();
    std::size_t count = 0;
    {
        FreedBlockProbe::TWatch watch(Secret(), Window());
        ASSERT_EQ(corvane_read_block(made.Block.c_str(), 65001, &NextMinute, items.data(), &size, &count), CORVANE_OK);
        EXPECT_EQ(watch.Count(), 0u) << watch.Findings();
    }
    EXPECT_NE(items.find(Password()), std::string::npos);
    corvane_wipe(items.data(), items.size());
}

TEST_P(LaunchFreedBlockTest, DialLeavesNoCopy)
{
    DialerTesting::TDialerHarness harness;
    // The dialer starts from this process with this process's environment.
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    for (const auto& [name, value] : harness.DialerEnvironment()) {
        const char* before = std::getenv(name.c_str());
        saved.emplace_back(name, before ? std::optional<std::string>(before) : std::nullopt);
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
    const std::vector<std::string> items = Items();
    const std::vector<const char*> pointers = Pointers(items);
    const std::string dialer = harness.DialerPath().string();
    std::uint32_t result = 1;
    {
        FreedBlockProbe::TWatch watch(Secret(), Window());
        EXPECT_EQ(corvane_dial(dialer.c_str(), pointers.data(), pointers.size(), 0, 0, &result), CORVANE_OK);
        EXPECT_EQ(watch.Count(), 0u) << watch.Findings();
    }
    EXPECT_EQ(result, 0u);
    for (const auto& [name, value] : saved) {
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
}

// The block itself is as much a secret as the password it carries: no freed block holds a run of it
// long enough to read it back. Made inside the call watched, it is known only afterwards, so the
// freed blocks are kept and searched once it is.
constexpr std::size_t BlockWindow = 16;

std::size_t BlockCopies(const FreedBlockProbe::TRecording& recording, const std::string& block, std::string& findings)
{
    return recording.CountCopies(TestSupport::U16(block), BlockWindow, BlockWindow, findings);
}

TEST_P(LaunchFreedBlockTest, MakeLeavesNoCopyOfTheBlock)
{
    const std::vector<std::string> items = Items();
    const std::vector<const char*> pointers = Pointers(items);
    std::string block(1024, '\0');
    std::size_t size = block.size();
    FreedBlockProbe::TRecording recording;
    ASSERT_EQ(corvane_make_block(pointers.data(), pointers.size(), 65001, &MadeAt, block.data(), &size), CORVANE_OK);
    recording.Stop();
    ASSERT_TRUE(recording.Complete());
    block.resize(size - 1);
    std::string findings;
    EXPECT_EQ(BlockCopies(recording, block, findings), 0u) << findings;
}

// Accepted in the next minute, rejected two minutes on.
TEST_P(LaunchFreedBlockTest, ReadLeavesNoCopyOfTheBlock)
{
    const TMade made = Make(Items(), 65001, &MadeAt);
    ASSERT_EQ(made.Result, CORVANE_OK);
    for (const auto& [at, expected] :
         {std::pair{&NextMinute, CORVANE_OK}, std::pair{&TwoMinutesOn, CORVANE_E_BLOCK_REJECTED}}) {
        std::string items(1024, '\0');
        std::size_t size = items.size();
        std::size_t count = 0;
        FreedBlockProbe::TRecording recording;
        EXPECT_EQ(corvane_read_block(made.Block.c_str(), 65001, at, items.data(), &size, &count), expected);
        recording.Stop();
        ASSERT_TRUE(recording.Complete());
        std::string findings;
        EXPECT_EQ(BlockCopies(recording, made.Block, findings), 0u) << "read at minute " << at->minute << "\n"
                                                                    << findings;
        corvane_wipe(items.data(), items.size());
    }
}

TEST_P(LaunchFreedBlockTest, DialLeavesNoCopyOfTheBlock)
{
    // A stand-in dialer keeps the block it was given, which is how the test learns it.
    const TestSupport::TTempDir dir;
    const std::string kept = (dir / "argument").string();
    setenv("CORVANE_TEST_ARGUMENT_FILE", kept.c_str(), 1);
    const std::vector<std::string> items = Items();
    const std::vector<const char*> pointers = Pointers(items);
    const std::string dialer = TestSupport::BuiltProgram("ArgumentKeeper").string();
    std::uint32_t result = 1;
    FreedBlockProbe::TRecording recording;
    EXPECT_EQ(corvane_dial(dialer.c_str(), pointers.data(), pointers.size(), 0, 0, &result), CORVANE_OK);
    recording.Stop();
    unsetenv("CORVANE_TEST_ARGUMENT_FILE");
    ASSERT_TRUE(recording.Complete());
    EXPECT_EQ(result, 0u);
    const TBytes argument = TestSupport::ReadFileBytes(kept);
    const std::string block(argument.begin(), argument.end());
    ASSERT_GT(block.size(), 2 * BlockWindow);
    std::string findings;
    EXPECT_EQ(BlockCopies(recording, block, findings), 0u) << findings;
}

INSTANTIATE_TEST_SUITE_P(Passwords, LaunchFreedBlockTest, ::testing::ValuesIn(Passwords));

}  // namespace
