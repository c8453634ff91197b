#include "core/ScopeExit.h"

#include <gtest/gtest.h>

#include <stdexcept>

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


}  // namespace
