// corvane_dial against the built dialer with the recording RAS double, as a launching program
// calls it; and the library's block read by the dialer itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "dialer/DialerHarness.h"
#include "launch/LaunchTesting.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#endif

using namespace TestSupport;
using namespace DialerTesting;
using namespace LaunchTesting;

namespace {

// corvane_dial starts the dialer from this process, with this process's environment: the
// harness's settings are made here for the test's length and undone after.
class TProcessEnvironment {
public:
    explicit TProcessEnvironment(const TEnvironmentChanges& changes)
    {
        for (const auto& [name, value] : changes) {
            FSaved.emplace_back(name, Get(name));
            Set(name, value);
        }
    }
    ~TProcessEnvironment()
    {
        for (auto it = FSaved.rbegin(); it != FSaved.rend(); ++it)
            Set(it->first, it->second);
    }
    TProcessEnvironment(const TProcessEnvironment&) = delete;
    TProcessEnvironment& operator=(const TProcessEnvironment&) = delete;

private:
    static std::optional<std::string> Get(const std::string& name)
    {
        const char* value = std::getenv(name.c_str());
        return value ? std::optional<std::string>(value) : std::nullopt;
    }
    static void Set(const std::string& name, const std::optional<std::string>& value)
    {
#ifdef _WIN32
        const std::wstring wideName(name.begin(), name.end());
        const std::u16string wideValue = value ? U16(*value) : std::u16string();
        SetEnvironmentVariableW(wideName.c_str(),
                                value ? reinterpret_cast<const wchar_t*>(wideValue.c_str()) : nullptr);
        _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
#endif
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> FSaved;
};

const std::vector<std::string> Items{"C:\\pb\\rasphone.pbk", "office vpn", "alice", "p@ss, \"wörd\"", "vpn.example"};

class LaunchDialTest : public ::testing::Test {
protected:
    TDialerHarness FHarness;
    TTempDir FDir;

    int Dial(const std::filesystem::path& dialer, std::uint32_t timeoutMs, std::uint32_t& result,
             const TEnvironmentChanges& more = {})
    {
        TEnvironmentChanges environment = FHarness.DialerEnvironment();
        environment.insert(environment.end(), more.begin(), more.end());
        const TProcessEnvironment scope(environment);
        const std::vector<const char*> items = Pointers(Items);
        const std::string path = dialer.string();
        return corvane_dial(path.c_str(), items.data(), items.size(), 0, timeoutMs, &result);
    }
};

// The dialer reads the library's block (made now, in the system's code page) and dials with it.
TEST_F(LaunchDialTest, DialerReadsTheLibrarysBlock)
{
    const std::vector<const char*> items = Pointers(Items);
    std::size_t size = 0;
    ASSERT_EQ(corvane_make_block(items.data(), items.size(), 0, nullptr, nullptr, &size), CORVANE_E_BUFFER_TOO_SMALL);
    std::string block(size, '\0');
    ASSERT_EQ(corvane_make_block(items.data(), items.size(), 0, nullptr, block.data(), &size), CORVANE_OK);
    block.resize(size - 1);

    const auto exit = FHarness.Run({block});
    EXPECT_EQ(exit.Status, 0u);
    const auto dial = FHarness.Recorded();
    ASSERT_TRUE(dial.has_value());
    EXPECT_EQ(dial->Phonebook, u"C:\\pb\\rasphone.pbk");
    EXPECT_EQ(TextAt(dial->Params, PasswordOffset), U16("p@ss, \"wörd\""));
}

struct TDialCase {
    const char* Name;
    std::uint32_t ServiceResult;
};

class LaunchDialResultTest : public LaunchDialTest, public ::testing::WithParamInterface<TDialCase> {};

// The result the service returned arrives whole: all 32 bits on Windows, and on POSIX through the
// dialer's mapping of its 8-bit status.
TEST_P(LaunchDialResultTest, ReturnsTheDialResult)
{
    FHarness.SetDialResult(GetParam().ServiceResult);
    std::uint32_t result = 12345;
    ASSERT_EQ(Dial(FHarness.DialerPath(), 0, result), CORVANE_OK);
    EXPECT_EQ(result, GetParam().ServiceResult);
    const auto dial = FHarness.Recorded();
    ASSERT_TRUE(dial.has_value());
    EXPECT_EQ(TextAt(dial->Params, PasswordOffset), U16("p@ss, \"wörd\""));
}

INSTANTIATE_TEST_SUITE_P(Results, LaunchDialResultTest,
                         ::testing::Values(TDialCase{"Connected", 0}, TDialCase{"AuthenticationRefused", 691},
                                           TDialCase{"VpnUnreachable", 800}),
                         [](const auto& info) { return std::string(info.param.Name); });

// Several threads dial at once, as the callers of a launching program's library may: each gets its
// own dialer's result, and none disturbs another's wait.
TEST_F(LaunchDialTest, ThreadsDialAtOnce)
{
    FHarness.SetDialResult(691);
    const TProcessEnvironment scope(FHarness.DialerEnvironment());
    const std::vector<const char*> items = Pointers(Items);
    const std::string path = FHarness.DialerPath().string();
    constexpr int Threads = 4;
    std::vector<int> codes(Threads, 1);
    std::vector<std::uint32_t> results(Threads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t)
        threads.emplace_back([&, t] {
            codes[static_cast<std::size_t>(t)] =
                corvane_dial(path.c_str(), items.data(), items.size(), 0, 60000, &results[static_cast<std::size_t>(t)]);
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(codes, std::vector<int>(Threads, CORVANE_OK));
    EXPECT_EQ(results, std::vector<std::uint32_t>(Threads, 691u));
}

#ifndef _WIN32
// How a host treats its children: it ignores SIGCHLD (the system reaps them), or reaps whatever
// ends in its own SIGCHLD handler. Either way the dialer ran, and its result arrives.
enum class THostMode { IgnoresSigchld, ReapsInItsHandler };

extern "C" void ReapEveryChild(int)
{
    const int saved = errno;
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    errno = saved;
}

class LaunchDialHostTest : public LaunchDialTest, public ::testing::WithParamInterface<THostMode> {};

TEST_P(LaunchDialHostTest, DialerResultArrivesWhateverTheHostDoesWithSigchld)
{
    FHarness.SetDialResult(691);
    struct sigaction hostAction {};
    hostAction.sa_handler = GetParam() == THostMode::IgnoresSigchld ? SIG_IGN : &ReapEveryChild;
    hostAction.sa_flags = SA_RESTART;
    sigemptyset(&hostAction.sa_mask);
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGCHLD, &hostAction, &previous), 0);
    std::uint32_t result = 12345;
    const int code = Dial(FHarness.DialerPath(), 60000, result);
    sigaction(SIGCHLD, &previous, nullptr);

    EXPECT_EQ(code, CORVANE_OK);
    EXPECT_EQ(result, 691u);
    EXPECT_TRUE(FHarness.Recorded().has_value());
}

INSTANTIATE_TEST_SUITE_P(Hosts, LaunchDialHostTest,
                         ::testing::Values(THostMode::IgnoresSigchld, THostMode::ReapsInItsHandler),
                         [](const auto& info) {
                             return std::string(info.param == THostMode::IgnoresSigchld ? "IgnoresSigchld"
                                                                                        : "ReapsInItsHandler");
                         });

// A dialer that leaves a program running in the background, which ends a little later: the host
// is not made its parent, so nothing is left for it to reap, however many dials it makes.
TEST_F(LaunchDialTest, WhatTheDialerLeftLeavesNoZombieInTheHost)
{
    const std::filesystem::path ids = FDir / "ids";
    const std::filesystem::path dialer = FDir / "leaving-dialer";
    WriteFileBytes(dialer, "#!/bin/sh\nsleep 0.3 &\necho $! >> '" + ids.string() + "'\n");
    std::filesystem::permissions(dialer, std::filesystem::perms::owner_all);
    for (int dial = 0; dial < 3; ++dial) {
        std::uint32_t result = 12345;
        EXPECT_EQ(Dial(dialer, 60000, result), CORVANE_OK);
        EXPECT_EQ(result, 0u);
    }

    const std::vector<unsigned long> left = ProcessIdsInFile(ids);
    ASSERT_EQ(left.size(), 3u);
    ASSERT_TRUE(EventuallyTrue(
        [&] { return std::none_of(left.begin(), left.end(), [](unsigned long id) { return ProcessRuns(id); }); }, 30));
    EXPECT_EQ(ZombieChildren(), std::vector<unsigned long>{});
}
#endif

TEST_F(LaunchDialTest, MissingDialerIsNotStarted)
{
    std::uint32_t result = 12345;
    EXPECT_EQ(Dial(FDir / "no-such-dialer", 0, result), CORVANE_E_DIALER_NOT_STARTED);
    EXPECT_EQ(result, 12345u);
    EXPECT_FALSE(FHarness.Recorded().has_value());
}

TEST_F(LaunchDialTest, BadArgumentsAreRefusedBeforeAnythingStarts)
{
    const std::vector<const char*> items = Pointers(Items);
    const std::string path = FHarness.DialerPath().string();
    std::uint32_t result = 0;
    EXPECT_EQ(corvane_dial(nullptr, items.data(), 5, 0, 0, &result), CORVANE_E_INVALID_ARGUMENT);
    EXPECT_EQ(corvane_dial(path.c_str(), nullptr, 5, 0, 0, &result), CORVANE_E_INVALID_ARGUMENT);
    EXPECT_EQ(corvane_dial(path.c_str(), items.data(), 4, 0, 0, &result), CORVANE_E_INVALID_ARGUMENT);
    EXPECT_EQ(corvane_dial(path.c_str(), items.data(), 5, 0, 0, nullptr), CORVANE_E_INVALID_ARGUMENT);
    EXPECT_EQ(corvane_dial(path.c_str(), items.data(), 5, 12345, 0, &result), CORVANE_E_INVALID_ARGUMENT);
    EXPECT_FALSE(FHarness.Recorded().has_value());
}

// The hanging dialer starts a copy of itself, as a RAS library may start a program: the timeout
// ends both.
TEST_F(LaunchDialTest, TimeoutEndsTheDialerAndWhatItStarted)
{
    const std::filesystem::path ids = FDir / "ids";
    std::uint32_t result = 12345;
    EXPECT_EQ(Dial(BuiltProgram("HangingProgram"), 1000, result, {{"CORVANE_TEST_PID_FILE", ids.string()}}),
              CORVANE_E_TIMEOUT);
    EXPECT_EQ(result, 12345u);
    const auto ended = HangingProgramAndCopyEnded(ids);
    if (!ended)
        GTEST_SKIP() << "the hanging dialer had not started its copy within the second; the platform test "
                        "ProgramRunTest.EndingAProgramEndsWhatItStarted ends it at a chosen moment instead";
    EXPECT_TRUE(*ended);
}

}  // namespace
