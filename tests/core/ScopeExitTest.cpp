#include "core/ScopeExit.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <vector>

namespace {

TEST(ScopeExitTest, RunsOnceWhenTheScopeEndsAndWhenAnExceptionLeavesIt)
{
    int runs = 0;
    {
        const TScopeExit count([&] { ++runs; });
        EXPECT_EQ(runs, 0);
    }
    EXPECT_EQ(runs, 1);
    EXPECT_THROW(
        {
            const TScopeExit count([&] { ++runs; });
            throw std::runtime_error("leaving");
        },
        std::runtime_error);
    EXPECT_EQ(runs, 2);
}

enum class TCall { Dismiss, RunNow };

// What the guard is told inside its scope, and how often the action has run after each call and
// after the scope: at most once, and never once dismissed.
struct TGuardCase {
    const char* Name;
    std::vector<TCall> Calls;
    std::vector<int> RunsAfterEachCall;
    int RunsAfterScope;
};

const TGuardCase GuardCases[] = {
    {"NothingRunsAtTheEnd", {}, {}, 1},
    {"DismissedNeverRuns", {TCall::Dismiss}, {0}, 0},
    {"RunNowRunsThereAndNotAgain", {TCall::RunNow}, {1}, 1},
    {"RunNowTwiceRunsOnce", {TCall::RunNow, TCall::RunNow}, {1, 1}, 1},
    {"DismissAfterRunNowUndoesNothing", {TCall::RunNow, TCall::Dismiss}, {1, 1}, 1},
    {"RunNowAfterDismissRunsNothing", {TCall::Dismiss, TCall::RunNow}, {0, 0}, 0},
};

class ScopeExitCallTest : public ::testing::TestWithParam<TGuardCase> {};

TEST_P(ScopeExitCallTest, RunsAtMostOnce)
{
    const TGuardCase& guardCase = GetParam();
    int runs = 0;
    {
        TScopeExit count([&] { ++runs; });
        for (std::size_t i = 0; i < guardCase.Calls.size(); ++i) {
            if (guardCase.Calls[i] == TCall::Dismiss)
                count.Dismiss();
            else
                count.RunNow();
            EXPECT_EQ(runs, guardCase.RunsAfterEachCall[i]) << "after call " << i;
        }
    }
    EXPECT_EQ(runs, guardCase.RunsAfterScope);
}

INSTANTIATE_TEST_SUITE_P(Calls, ScopeExitCallTest, ::testing::ValuesIn(GuardCases),
                         [](const ::testing::TestParamInfo<TGuardCase>& info) { return info.param.Name; });

TEST(ScopeExitTest, DismissedGuardRunsNothingWhenAnExceptionLeavesTheScope)
{
    int runs = 0;
    EXPECT_THROW(
        {
            TScopeExit count([&] { ++runs; });
            count.Dismiss();
            throw std::runtime_error("leaving");
        },
        std::runtime_error);
    EXPECT_EQ(runs, 0);
}

// An action that, through the guard, asks for itself again (a clean-up calling a helper that runs
// the same clean-up) still runs once.
TEST(ScopeExitTest, ActionThatRunsItsGuardAgainRunsOnce)
{
    int runs = 0;
    std::function<void()> action;
    {
        TScopeExit guard([&] { action(); });
        action = [&] {
            ++runs;
            guard.RunNow();
        };
        guard.RunNow();
        EXPECT_EQ(runs, 1);
    }
    EXPECT_EQ(runs, 1);
}

}  // namespace
