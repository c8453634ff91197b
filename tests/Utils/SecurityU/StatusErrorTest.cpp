#include <cstdint>

#include <gtest/gtest.h>

#include "Utils/Util.SecurityU.h"
#include "support/TestSupport.h"

namespace {

struct TStatusCase {
    const char* CaseName;
    std::int32_t Status;
    const char* Name;
    const char* Message;
};

void PrintTo(const TStatusCase& c, std::ostream* os)
{
    *os << c.Name << " status " << c.Status;
}

class RaiseNTStatusErrorTest : public ::testing::TestWithParam<TStatusCase> {};

TEST_P(RaiseNTStatusErrorTest, WritesNameColonAndSignedDecimalStatus)
{
    const TStatusCase& c = GetParam();
    try {
        RaiseNTStatusError(c.Status, TestSupport::U16(c.Name));
        FAIL() << "nothing raised";
    } catch (const ENTStatusOSError& error) {
        EXPECT_EQ(TestSupport::U8(error.Message()), c.Message);
        EXPECT_EQ(error.ErrorCode, static_cast<std::uint32_t>(c.Status));
        // The operating-system error code of the base is not where the status goes.
        EXPECT_EQ(static_cast<const EOSError&>(error).ErrorCode, 0U);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, RaiseNTStatusErrorTest,
    ::testing::Values(TStatusCase{"NegativeFailureStatus", static_cast<std::int32_t>(0xC000000DU), "BCryptGenRandom",
                                  "BCryptGenRandom:-1073741811"},
                      TStatusCase{"ZeroAfterAMessage", 0, "invalid key size. expect 256, actual 0.",
                                  "invalid key size. expect 256, actual 0.:0"},
                      TStatusCase{"PositiveStatus", 0x00000103, "BCryptEncrypt", "BCryptEncrypt:259"},
                      TStatusCase{"Int32Min", INT32_MIN, "BCryptDecrypt", "BCryptDecrypt:-2147483648"},
                      TStatusCase{"MinusOne", -1, "BCryptHashData", "BCryptHashData:-1"}),
    [](const auto& info) { return std::string(info.param.CaseName); });

TEST(ENTStatusOSErrorTest, IsCaughtAsOperatingSystemError)
{
    EXPECT_THROW(RaiseNTStatusError(static_cast<std::int32_t>(0xC0000001U), u"BCryptImportKey"), EOSError);
}

struct TAssertionCase {
    const char* CaseName;
    const char16_t* Text;
    int Line;
    const char* Message;
};

void PrintTo(const TAssertionCase& c, std::ostream* os)
{
    *os << c.CaseName << " at line " << c.Line;
}

class AssertionFailureTest : public ::testing::TestWithParam<TAssertionCase> {};

TEST_P(AssertionFailureTest, ShowsTextSourceFileAndLine)
{
    const TAssertionCase& c = GetParam();
    try {
        Assert(false, c.Text, SecurityUnitSourceFile, c.Line);
        FAIL() << "nothing raised";
    } catch (const EOSError&) {
        FAIL() << "an assertion failure is no operating-system error";
    } catch (const EAssertionFailed& error) {
        EXPECT_EQ(TestSupport::U8(error.Message()), c.Message);
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, AssertionFailureTest,
                         ::testing::Values(TAssertionCase{"GivenText", u"must initialize.", 1230,
                                                          "must initialize. (Utils\\Util.SecurityU, 1230 行)"},
                                           TAssertionCase{"EmptyTextReplaced", u"", 624,
                                                          "アサートが失敗しました (Utils\\Util.SecurityU, 624 行)"}),
                         [](const auto& info) { return std::string(info.param.CaseName); });

}  // namespace
