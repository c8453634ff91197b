// Each precondition of each hash operation fails with its own line of the security unit, the
// numbers people compare in logs, and before any provider call.
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "Utils/SecurityU/SecurityTestSupport.h"
#include "platform/WindowsVersion.h"

namespace {

using namespace SecurityTests;

enum class TOperation { HashBytes, HashStream, RepeatHashReusable, RepeatHashPerRound };
// Which state the object is left in: never initialized, or initialized with one part undone.
enum class TBroken { Algorithm, HashObject, HashLength };

struct TLineCase {
    const char* Name;
    TOperation Operation;
    TBroken Broken;
    int Line;
};

void PrintTo(const TLineCase& c, std::ostream* os)
{
    *os << c.Name << " at line " << c.Line;
}

// Only a derived class reaches the fields an initialized object could lose.
class TBreakableHash : public TSHA256Repeatable {
public:
    void Break(TBroken broken)
    {
        if (broken == TBroken::Algorithm)
            return;
        Initialize();
        if (broken == TBroken::HashObject)
            FHashObject.clear();
        else
            FHashLength = 0;
    }
};

bool IsRepeat(TOperation operation)
{
    return operation == TOperation::RepeatHashReusable || operation == TOperation::RepeatHashPerRound;
}

class HashAssertionLineTest : public TProviderTest, public ::testing::WithParamInterface<TLineCase> {
protected:
    void SetUp() override
    {
        TProviderTest::SetUp();
        const TOperation operation = GetParam().Operation;
        if (!IsRepeat(operation))
            return;
        // The repeated hash picks its loop by the Windows version.
        const bool reusable = operation == TOperation::RepeatHashReusable;
#ifdef _WIN32
        const TWindowsVersion running = RunningWindowsVersion();
        if (reusable != (running.Major > 6 || (running.Major == 6 && running.Minor >= 2)))
            GTEST_SKIP() << "under Windows the running version decides the loop";
#else
        OverrideWindowsVersionForTesting(reusable ? TWindowsVersion{6, 2} : TWindowsVersion{6, 1});
#endif
    }
    void TearDown() override
    {
        OverrideWindowsVersionForTesting(std::nullopt);
        TProviderTest::TearDown();
    }
};

TEST_P(HashAssertionLineTest, FailsWithLineOfItsCheck)
{
    const TLineCase& c = GetParam();
    TBreakableHash hash;
    hash.Break(c.Broken);
    const TBytes input = BytesOf("abc");
    TMemoryStream stream = StreamOf(input);
#ifndef _WIN32
    BcryptTesting::ResetCounters();
#endif
    const std::string message = MessageOf<EAssertionFailed>([&] {
        switch (c.Operation) {
            case TOperation::HashBytes:
                hash.Hash(input);
                break;
            case TOperation::HashStream:
                hash.Hash(stream);
                break;
            case TOperation::RepeatHashReusable:
            case TOperation::RepeatHashPerRound:
                hash.RepeatHash(input, 2);
                break;
        }
    });
    EXPECT_EQ(message, "must initialize. (Utils\\Util.SecurityU, " + std::to_string(c.Line) + " 行)");
    EXPECT_EQ(stream.Position(), 0);
#ifndef _WIN32
    EXPECT_EQ(BcryptTesting::CallCount("BCryptCreateHash"), 0);
#endif
}

INSTANTIATE_TEST_SUITE_P(
    Lines, HashAssertionLineTest,
    ::testing::Values(TLineCase{"BytesAlgorithm", TOperation::HashBytes, TBroken::Algorithm, 1230},
                      TLineCase{"BytesHashObject", TOperation::HashBytes, TBroken::HashObject, 1231},
                      TLineCase{"BytesHashLength", TOperation::HashBytes, TBroken::HashLength, 1232},
                      TLineCase{"StreamAlgorithm", TOperation::HashStream, TBroken::Algorithm, 1307},
                      TLineCase{"StreamHashObject", TOperation::HashStream, TBroken::HashObject, 1308},
                      TLineCase{"StreamHashLength", TOperation::HashStream, TBroken::HashLength, 1309},
                      TLineCase{"ReusableAlgorithm", TOperation::RepeatHashReusable, TBroken::Algorithm, 1487},
                      TLineCase{"ReusableHashObject", TOperation::RepeatHashReusable, TBroken::HashObject, 1488},
                      TLineCase{"ReusableHashLength", TOperation::RepeatHashReusable, TBroken::HashLength, 1489},
                      TLineCase{"PerRoundAlgorithm", TOperation::RepeatHashPerRound, TBroken::Algorithm, 1572},
                      TLineCase{"PerRoundHashObject", TOperation::RepeatHashPerRound, TBroken::HashObject, 1573},
                      TLineCase{"PerRoundHashLength", TOperation::RepeatHashPerRound, TBroken::HashLength, 1574}),
    [](const ::testing::TestParamInfo<TLineCase>& info) { return std::string(info.param.Name); });

}  // namespace
