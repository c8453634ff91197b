#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Utils/SecurityU/SecurityTestSupport.h"
#include "platform/WindowsVersion.h"

namespace {

using namespace SecurityTests;
using TestSupport::ToHex;

// D(count) by rounds of the plain hash class: an implementation of its own to compare with.
TBytes IteratedSha256(const TBytes& input, int count)
{
    TSHA256 sha;
    sha.Initialize();
    TBytes digest = input;
    for (int round = 0; round < count; ++round)
        digest = sha.Hash(digest);
    return digest;
}

bool VersionHasReusableHashes()
{
    const TWindowsVersion version = RunningWindowsVersion();
    return version.Major > 6 || (version.Major == 6 && version.Minor >= 2);
}

// The loop to run: the one of the running Windows, or (natively) a pretended version.
struct TLoopCase {
    const char* Name;
    std::optional<TWindowsVersion> Version;
};

class RepeatHashTest : public TProviderTest, public ::testing::WithParamInterface<TLoopCase> {
protected:
    void SetUp() override
    {
        TProviderTest::SetUp();
#ifdef _WIN32
        if (GetParam().Version)
            GTEST_SKIP() << "under Windows the running version decides the loop";
#endif
        OverrideWindowsVersionForTesting(GetParam().Version);
    }
    void TearDown() override
    {
        OverrideWindowsVersionForTesting(std::nullopt);
        TProviderTest::TearDown();
    }
};

TEST_P(RepeatHashTest, ChoosesLoopByWindowsVersion)
{
    const TSHA256Repeatable repeatable;
    EXPECT_EQ(repeatable.Reusable(), VersionHasReusableHashes());
    std::cout << "[          ] hash objects " << (repeatable.Reusable() ? "reused" : "made per round") << "\n";
}

TEST_P(RepeatHashTest, GivesIteratedDigest)
{
    TSHA256Repeatable repeatable;
    repeatable.Initialize();
    const TBytes input = BytesOf("abc");
    for (int count : {1, 2, 3, 2048})
        EXPECT_EQ(ToHex(repeatable.RepeatHash(input, count)), ToHex(IteratedSha256(input, count))) << count;
    EXPECT_EQ(ToHex(repeatable.RepeatHash(TBytes{}, 1)),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(ToHex(repeatable.RepeatHash(input, 1)),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST_P(RepeatHashTest, ReturnsNothingForNoRoundsEvenUninitialized)
{
    TSHA256Repeatable repeatable;
    EXPECT_TRUE(repeatable.RepeatHash(BytesOf("abc"), 0).empty());
    EXPECT_TRUE(repeatable.RepeatHash(BytesOf("abc"), -5).empty());
}

TEST_P(RepeatHashTest, ReportsUseBeforeInitializeWithLineOfItsLoop)
{
    TSHA256Repeatable repeatable;
    const std::string line = repeatable.Reusable() ? "1487" : "1572";
    EXPECT_EQ(MessageOf<EAssertionFailed>([&] { repeatable.RepeatHash(BytesOf("abc"), 1); }),
              "must initialize. (Utils\\Util.SecurityU, " + line + " 行)");
}

#ifndef _WIN32

TEST_P(RepeatHashTest, CreatesHashObjectsAsItsLoopPrescribes)
{
    TSHA256Repeatable repeatable;
    repeatable.Initialize();
    BcryptTesting::ResetCounters();
    repeatable.RepeatHash(BytesOf("abc"), 2048);
    const int expected = repeatable.Reusable() ? 1 : 2048;
    EXPECT_EQ(BcryptTesting::CallCount("BCryptCreateHash"), expected);
    EXPECT_EQ(BcryptTesting::CallCount("BCryptDestroyHash"), expected);
    EXPECT_EQ(BcryptTesting::CallCount("BCryptFinishHash"), 2048);
}

TEST_P(RepeatHashTest, RaisesFailedDestructionInPlaceOfResultOrFailure)
{
    TSHA256Repeatable repeatable;
    repeatable.Initialize();
    const std::string expected = "BCryptDestroyHash: -1 (Utils\\Util.SecurityU, " +
                                 std::string(repeatable.Reusable() ? "1552" : "1633") + " 行)";

    BcryptTesting::FailCall("BCryptDestroyHash", -1);
    EXPECT_EQ(MessageOf<EAssertionFailed>([&] { repeatable.RepeatHash(BytesOf("abc"), 3); }), expected);

    BcryptTesting::FailCall("BCryptHashData", static_cast<std::int32_t>(0xC000000DU), 1);
    BcryptTesting::FailCall("BCryptDestroyHash", -1);
    EXPECT_EQ(MessageOf<EAssertionFailed>([&] { repeatable.RepeatHash(BytesOf("abc"), 3); }), expected);
}

TEST_P(RepeatHashTest, RaisesFailedDestructionOfHandleHandedOutWithFailedCreation)
{
    TSHA256Repeatable repeatable;
    repeatable.Initialize();
    // The per-round loop meets it in round 2, the reusable one in its only creation.
    const int skip = repeatable.Reusable() ? 0 : 1;
    BcryptTesting::FailCallAfterItsWork("BCryptCreateHash", static_cast<std::int32_t>(0xC000000DU), skip);
    EXPECT_EQ(MessageOf<ENTStatusOSError>([&] { repeatable.RepeatHash(BytesOf("abc"), 3); }),
              "BCryptCreateHash:-1073741811");
    EXPECT_EQ(BcryptTesting::CallCount("BCryptDestroyHash"), BcryptTesting::CallCount("BCryptCreateHash"));

    BcryptTesting::FailCallAfterItsWork("BCryptCreateHash", static_cast<std::int32_t>(0xC000000DU), skip);
    BcryptTesting::FailCall("BCryptDestroyHash", -1, skip);
    EXPECT_EQ(MessageOf<EAssertionFailed>([&] { repeatable.RepeatHash(BytesOf("abc"), 3); }),
              "BCryptDestroyHash: -1 (Utils\\Util.SecurityU, " + std::string(repeatable.Reusable() ? "1552" : "1633") +
                  " 行)");
}

TEST_P(RepeatHashTest, OpensAndCreatesWithReusableFlagOnlyFromWindows62)
{
    const std::uint32_t reusableFlag = VersionHasReusableHashes() ? 0x20U : 0U;
    TSHA256 plain;
    TSHA256Repeatable repeatable;
    plain.Initialize();
    repeatable.Initialize();
    const std::vector<BcryptTesting::TOpening> expected{
        {u"SHA256", u"Microsoft Primitive Provider", 0U},
        {u"SHA256", u"Microsoft Primitive Provider", reusableFlag},
    };
    EXPECT_EQ(BcryptTesting::Openings(), expected);

    plain.Hash(BytesOf("abc"));
    repeatable.RepeatHash(BytesOf("abc"), 3);
    // One reusable hash object for all three rounds, or one plain object per round.
    const std::vector<std::uint32_t> created =
        reusableFlag != 0 ? std::vector<std::uint32_t>{0U, reusableFlag} : std::vector<std::uint32_t>{0U, 0U, 0U, 0U};
    EXPECT_EQ(BcryptTesting::HashCreationFlags(), created);
}

TEST_P(RepeatHashTest, NamesFailedRoundCall)
{
    TSHA256Repeatable repeatable;
    repeatable.Initialize();
    // Round 2 fails, after one successful round.
    BcryptTesting::FailCall("BCryptFinishHash", static_cast<std::int32_t>(0xC000000DU), 1);
    EXPECT_EQ(MessageOf<ENTStatusOSError>([&] { repeatable.RepeatHash(BytesOf("abc"), 5); }),
              "BCryptFinishHash:-1073741811");
    EXPECT_EQ(BcryptTesting::CallCount("BCryptDestroyHash"), BcryptTesting::CallCount("BCryptCreateHash"));
}

#endif

INSTANTIATE_TEST_SUITE_P(Loops, RepeatHashTest,
                         ::testing::Values(TLoopCase{"RunningVersion", std::nullopt},
                                           TLoopCase{"Windows61", TWindowsVersion{6, 1}},
                                           TLoopCase{"Windows62", TWindowsVersion{6, 2}},
                                           TLoopCase{"Windows10", TWindowsVersion{10, 0}}),
                         [](const ::testing::TestParamInfo<TLoopCase>& info) { return info.param.Name; });

TEST(RepeatHashLoopsTest, BothLoopsGiveSameBytes)
{
#ifdef _WIN32
    GTEST_SKIP() << "one loop per Windows version; the two Wine runs cover both";
#else
    const TBytes input = PatternBytes(100);
    TSecureBytes digests[2];
    const TWindowsVersion versions[2] = {{6, 1}, {10, 0}};
    for (int i = 0; i < 2; ++i) {
        OverrideWindowsVersionForTesting(versions[i]);
        TSHA256Repeatable repeatable;
        repeatable.Initialize();
        digests[i] = repeatable.RepeatHash(input, 2048);
    }
    OverrideWindowsVersionForTesting(std::nullopt);
    EXPECT_EQ(digests[0].size(), 32U);
    EXPECT_EQ(ToHex(digests[0]), ToHex(digests[1]));
#endif
}

}  // namespace
