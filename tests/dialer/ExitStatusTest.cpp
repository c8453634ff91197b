// The POSIX exit status mapping: no failure arrives as success or in the shell's own range, and
// what can be read back reads back exactly.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "CorvaneUtil/ExitStatus.h"

namespace {

TEST(PosixExitStatus, NoFailureArrivesAsSuccessOrInTheShellsRange)
{
    for (std::uint64_t result = 1; result <= 0xFFFFFFFFull; result += (result < 70000 ? 1 : 0x10001)) {
        const int status = PosixExitStatus(static_cast<std::uint32_t>(result));
        ASSERT_GE(status, 1) << result;
        ASSERT_LE(status, 125) << result;
    }
    EXPECT_EQ(PosixExitStatus(0), 0);
    EXPECT_EQ(PosixExitStatus(0xFFFFFFFFu), PosixOtherFailure);
}

TEST(PosixExitStatus, ReadsBackEveryResultItDoesNotLump)
{
    for (std::uint32_t result = 0; result <= 70000; ++result) {
        const int status = PosixExitStatus(result);
        const std::optional<std::uint32_t> back = DialResultOfPosixExitStatus(status);
        if (status == PosixOtherFailure)
            EXPECT_FALSE(back.has_value()) << result;
        else
            EXPECT_EQ(back, result) << result;
    }
}

// The edges of the two ranges, each on both sides: a range that starts one late or ends one early
// turns a readable result into the lumped 125.
struct TEdgeCase {
    std::uint32_t Result;
    int Status;
};

TEST(PosixExitStatus, RangeEdgesArriveAsWrittenOut)
{
    const TEdgeCase cases[] = {
        {600, PosixOtherFailure}, {601, 1},   {699, 99},  {700, PosixOtherFailure},
        {799, PosixOtherFailure}, {800, 100}, {819, 119}, {820, PosixOtherFailure},
    };
    for (const TEdgeCase& c : cases) {
        EXPECT_EQ(PosixExitStatus(c.Result), c.Status) << c.Result;
        if (c.Status != PosixOtherFailure) {
            EXPECT_EQ(DialResultOfPosixExitStatus(c.Status), c.Result) << c.Result;
        }
    }
}

TEST(PosixExitStatus, ValuesTheDialerNeverSendsReadBackAsNothing)
{
    for (int status : {122, 123, 124, 125, 126, 139, 255, -1, 256})
        EXPECT_FALSE(DialResultOfPosixExitStatus(status).has_value()) << status;
}

}  // namespace
