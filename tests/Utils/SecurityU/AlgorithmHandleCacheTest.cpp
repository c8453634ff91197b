#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Utils/SecurityU/SecurityTestSupport.h"

namespace {

using SecurityTests::TProviderTest;

class AlgorithmHandleCacheTest : public TProviderTest {};

TEST_F(AlgorithmHandleCacheTest, OpensOncePerClassNameAndSetsUpOnce)
{
    int setups = 0;
    const auto setup = [&setups](TProviderHandle) { ++setups; };
    const TProviderHandle first = AcquireAlgorithmHandle(u"TSample", u"SHA256", 0, setup);
    const TProviderHandle second = AcquireAlgorithmHandle(u"TSample", u"AES", 0, setup);

    EXPECT_NE(first, 0U);
    EXPECT_EQ(second, first);
    EXPECT_EQ(setups, 1);
    EXPECT_EQ(FindAlgorithmHandle(u"TSample"), first);
    ASSERT_EQ(AlgorithmHandlesSnapshot().size(), 1U);
#ifndef _WIN32
    EXPECT_EQ(BcryptTesting::OpenCount(u"SHA256"), 1);
    EXPECT_EQ(BcryptTesting::OpenCount(u"AES"), 0);
#endif
}

TEST_F(AlgorithmHandleCacheTest, ComparesClassNamesWithLetterCase)
{
    const TProviderHandle upper = AcquireAlgorithmHandle(u"TSHA256", u"SHA256", 0);
    const TProviderHandle lower = AcquireAlgorithmHandle(u"Tsha256", u"SHA256", 0);

    EXPECT_NE(upper, lower);
    EXPECT_EQ(AlgorithmHandlesSnapshot().size(), 2U);
    EXPECT_EQ(FindAlgorithmHandle(u"TSHA256"), upper);
    EXPECT_EQ(FindAlgorithmHandle(u"tsha256"), 0U);
}

TEST_F(AlgorithmHandleCacheTest, SeparateHashClassesGetHandlesOfTheirOwn)
{
    TSHA256 plain;
    TSHA256Repeatable repeatable;
    plain.Initialize();
    repeatable.Initialize();

    const auto entries = AlgorithmHandlesSnapshot();
    ASSERT_EQ(entries.size(), 2U);
    EXPECT_EQ(entries[0].ClassName, u"TSHA256");
    EXPECT_EQ(entries[1].ClassName, u"TSHA256Repeatable");
    EXPECT_NE(entries[0].Handle, entries[1].Handle);
}

TEST_F(AlgorithmHandleCacheTest, CiphersOfOneClassShareTheProvider)
{
    const TBytes key(32, 0x11);
    TAes256Crypt first;
    TAes256Crypt second;
    first.Initialize(key);
    second.Initialize(key);

    ASSERT_EQ(AlgorithmHandlesSnapshot().size(), 1U);
    EXPECT_EQ(AlgorithmHandlesSnapshot()[0].ClassName, u"TAes256Crypt");
#ifndef _WIN32
    EXPECT_EQ(BcryptTesting::OpenCount(u"AES"), 1);
    EXPECT_EQ(BcryptTesting::CallCount("BCryptSetProperty"), 1);
#endif
}

TEST_F(AlgorithmHandleCacheTest, UnknownAlgorithmLeavesTableUnchanged)
{
    try {
        AcquireAlgorithmHandle(u"TNoSuch", u"NOSUCHALGORITHM", 0);
        FAIL() << "opening an unknown algorithm succeeded";
    } catch (const ENTStatusOSError& error) {
        EXPECT_EQ(TestSupport::U8(error.Message()).rfind("BCryptOpenAlgorithmProvider:", 0), 0U);
        EXPECT_NE(error.ErrorCode, 0U);
    }
    EXPECT_TRUE(AlgorithmHandlesSnapshot().empty());
    EXPECT_EQ(FindAlgorithmHandle(u"TNoSuch"), 0U);
}

TEST_F(AlgorithmHandleCacheTest, ReleasesLockWhenSetUpFails)
{
    EXPECT_THROW(AcquireAlgorithmHandle(u"TBroken", u"RNG", 0, [](TProviderHandle) { RaiseNTStatusError(-1, u"X"); }),
                 ENTStatusOSError);
    // A second thread would hang here if the lock had stayed taken.
    TProviderHandle fromThread = 0;
    std::thread([&fromThread] { fromThread = FindAlgorithmHandle(u"TBroken"); }).join();
    EXPECT_NE(fromThread, 0U);
}

TEST_F(AlgorithmHandleCacheTest, ThreadsRacingOnFirstUseSeeOneOpening)
{
    constexpr int threadCount = 8;
    std::atomic<int> setups = 0;
    std::atomic<bool> go = false;
    std::vector<TProviderHandle> handles(threadCount);
    std::vector<std::thread> threads;
    for (int i = 0; i < threadCount; ++i)
        threads.emplace_back([&, i] {
            while (!go)
                std::this_thread::yield();
            handles[i] = AcquireAlgorithmHandle(u"TRaced", u"SHA256", 0, [&setups](TProviderHandle) {
                ++setups;
                // Hold the set-up a while so the other threads arrive during it.
                std::this_thread::yield();
            });
        });
    go = true;
    for (auto& thread : threads)
        thread.join();

    EXPECT_EQ(setups, 1);
    for (TProviderHandle handle : handles)
        EXPECT_EQ(handle, handles[0]);
    EXPECT_EQ(AlgorithmHandlesSnapshot().size(), 1U);
#ifndef _WIN32
    EXPECT_EQ(BcryptTesting::OpenCount(u"SHA256"), 1);
#endif
}

TEST_F(AlgorithmHandleCacheTest, ClosingEmptiesTheTable)
{
    AcquireAlgorithmHandle(u"TFirst", u"RNG", 0);
    CloseAlgorithmHandles();
    EXPECT_TRUE(AlgorithmHandlesSnapshot().empty());
    EXPECT_EQ(FindAlgorithmHandle(u"TFirst"), 0U);
    // The cache serves again afterwards.
    EXPECT_NE(AcquireAlgorithmHandle(u"TFirst", u"RNG", 0), 0U);
}

#ifndef _WIN32

TEST_F(AlgorithmHandleCacheTest, FailedOpeningIsRetriedOnNextDemand)
{
    BcryptTesting::FailCall("BCryptOpenAlgorithmProvider", static_cast<std::int32_t>(0xC0000017U));
    EXPECT_EQ(SecurityTests::MessageOf<ENTStatusOSError>([] { AcquireAlgorithmHandle(u"TRetry", u"RNG", 0); }),
              "BCryptOpenAlgorithmProvider:-1073741801");
    EXPECT_TRUE(AlgorithmHandlesSnapshot().empty());

    EXPECT_NE(AcquireAlgorithmHandle(u"TRetry", u"RNG", 0), 0U);
    EXPECT_EQ(AlgorithmHandlesSnapshot().size(), 1U);
    EXPECT_EQ(BcryptTesting::CallCount("BCryptOpenAlgorithmProvider"), 2);
}

TEST_F(AlgorithmHandleCacheTest, FailedChainingModeKeepsEntryWithoutSettingUpAgain)
{
    BcryptTesting::FailCall("BCryptSetProperty", static_cast<std::int32_t>(0xC00000BBU));
    const TBytes key(32, 0x22);
    {
        TAes256Crypt cipher;
        EXPECT_EQ(SecurityTests::MessageOf<ENTStatusOSError>([&] { cipher.Initialize(key); }),
                  "BCryptSetProperty:-1073741637");
    }
    ASSERT_EQ(AlgorithmHandlesSnapshot().size(), 1U);

    TAes256Crypt later;
    later.Initialize(key);
    EXPECT_EQ(BcryptTesting::OpenCount(u"AES"), 1);
    EXPECT_EQ(BcryptTesting::CallCount("BCryptSetProperty"), 1);
}

TEST_F(AlgorithmHandleCacheTest, ClosesEveryHandleOnceInOrderOfOpening)
{
    const TProviderHandle first = AcquireAlgorithmHandle(u"TFirst", u"SHA256", 0);
    const TProviderHandle second = AcquireAlgorithmHandle(u"TSecond", u"RNG", 0);
    const TProviderHandle third = AcquireAlgorithmHandle(u"TThird", u"AES", 0);
    BcryptTesting::ResetCounters();

    CloseAlgorithmHandles();
    CloseAlgorithmHandles();

    const std::vector<void*> expected{reinterpret_cast<void*>(first), reinterpret_cast<void*>(second),
                                      reinterpret_cast<void*>(third)};
    EXPECT_EQ(BcryptTesting::ClosedProviders(), expected);
}

TEST_F(AlgorithmHandleCacheTest, OpensEveryProviderOfThePrimitiveImplementationWithoutFlags)
{
    TAes256Crypt cipher;
    cipher.Initialize(TBytes(32, 0x33));
    TRandomNumberGenerator generator;
    generator.Initialize();
    TSHA256 sha;
    sha.Initialize();
    TMD5 md5;
    md5.Initialize();

    const std::u16string primitive = u"Microsoft Primitive Provider";
    const std::vector<BcryptTesting::TOpening> expected{
        {u"AES", primitive, 0U}, {u"RNG", primitive, 0U}, {u"SHA256", primitive, 0U}, {u"MD5", primitive, 0U}};
    EXPECT_EQ(BcryptTesting::Openings(), expected);
}

// The providers open when the process ends, and what the unit-end closing is expected to close.
std::vector<void*> ProvidersOpenAtExit;

void ReportClosingsAtExit()
{
    const bool closedAll = !ProvidersOpenAtExit.empty() && BcryptTesting::ClosedProviders() == ProvidersOpenAtExit;
    std::fputs(closedAll ? "closed every provider in order\n" : "providers left open\n", stderr);
}

TEST_F(AlgorithmHandleCacheTest, ClosesEveryProviderAtProcessEnd)
{
    // A fresh child process, in which the report is registered before anything opens a provider,
    // so that it runs after the unit's own closing at exit.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::atexit(ReportClosingsAtExit);
            TSHA256 sha;
            sha.Initialize();
            TRandomNumberGenerator generator;
            generator.Initialize();
            TAes256Crypt cipher;
            cipher.Initialize(TBytes(32, 0x44));
            for (const TAlgorithmHandle& entry : AlgorithmHandlesSnapshot())
                ProvidersOpenAtExit.push_back(reinterpret_cast<void*>(entry.Handle));
            BcryptTesting::ResetCounters();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "closed every provider in order");
}

TEST_F(AlgorithmHandleCacheTest, IgnoresFailedClosing)
{
    AcquireAlgorithmHandle(u"TFirst", u"RNG", 0);
    AcquireAlgorithmHandle(u"TSecond", u"RNG", 0);
    BcryptTesting::FailCall("BCryptCloseAlgorithmProvider", -1, 0, -1);

    CloseAlgorithmHandles();

    EXPECT_EQ(BcryptTesting::ClosedProviders().size(), 2U);
    EXPECT_TRUE(AlgorithmHandlesSnapshot().empty());
}

#endif

}  // namespace
