#include <algorithm>

#include <gtest/gtest.h>

#include "Utils/SecurityU/SecurityTestSupport.h"

namespace {

using namespace SecurityTests;

class RandomNumberGeneratorTest : public TProviderTest {};

TEST_F(RandomNumberGeneratorTest, OverwritesExactlyTheGivenBytes)
{
    TRandomNumberGenerator generator;
    generator.Initialize();
    for (std::size_t size : {1U, 11U, 16U, 1000U}) {
        // Guards on both sides must stay; the array itself must change (for 1 byte, within a
        // few tries: a random byte equals the old one once in 256).
        TBytes buffer(size + 2, 0xA5);
        const std::span<std::uint8_t> data(buffer.data() + 1, size);
        bool changed = false;
        for (int attempt = 0; attempt < 8 && !changed; ++attempt) {
            const TBytes before(data.begin(), data.end());
            generator.GetBytes(data);
            changed = !std::equal(data.begin(), data.end(), before.begin());
        }
        EXPECT_TRUE(changed) << size;
        EXPECT_EQ(buffer.front(), 0xA5) << size;
        EXPECT_EQ(buffer.back(), 0xA5) << size;
    }
}

TEST_F(RandomNumberGeneratorTest, RefusesEmptyArrayAndUseBeforeInitialize)
{
    TRandomNumberGenerator generator;
    TBytes empty;
    TBytes some(4);
    EXPECT_EQ(MessageOf<EAssertionFailed>([&] { generator.GetBytes(empty); }),
              "must initialize. (Utils\\Util.SecurityU, 1126 行)");
    EXPECT_EQ(MessageOf<EAssertionFailed>([&] { generator.GetBytes(some); }),
              "must initialize. (Utils\\Util.SecurityU, 1127 行)");
    generator.Initialize();
    EXPECT_EQ(MessageOf<EAssertionFailed>([&] { generator.GetBytes(empty); }),
              "must initialize. (Utils\\Util.SecurityU, 1126 行)");
}

TEST_F(RandomNumberGeneratorTest, GeneratorsShareOneProvider)
{
    TRandomNumberGenerator first;
    TRandomNumberGenerator second;
    first.Initialize();
    first.Initialize();
    second.Initialize();
    ASSERT_EQ(AlgorithmHandlesSnapshot().size(), 1U);
    EXPECT_EQ(AlgorithmHandlesSnapshot()[0].ClassName, u"TRandomNumberGenerator");
#ifndef _WIN32
    EXPECT_EQ(BcryptTesting::OpenCount(u"RNG"), 1);
#endif
}

#ifndef _WIN32
TEST_F(RandomNumberGeneratorTest, NamesFailedGeneration)
{
    TRandomNumberGenerator generator;
    generator.Initialize();
    BcryptTesting::FailCall("BCryptGenRandom", static_cast<std::int32_t>(0xC000000DU));
    TBytes data(11);
    EXPECT_EQ(MessageOf<ENTStatusOSError>([&] { generator.GetBytes(data); }), "BCryptGenRandom:-1073741811");
}
#endif

}  // namespace
