#include <gtest/gtest.h>

#include <string>

#include "CorvaneUtil/CorvaneUtilTestAccess.h"
#include "support/TestSupport.h"

namespace {

// The pieces as configured, handed over by the build in hex so that no character of theirs
// can disturb the command line or the preprocessor.
std::string ConfiguredPiece(std::string_view hex)
{
    const TBytes bytes = TestSupport::FromHex(hex);
    return std::string(bytes.begin(), bytes.end());
}

const std::string PieceA = ConfiguredPiece(CORVANE_TEST_PIECE_A_HEX);
const std::string PieceB = ConfiguredPiece(CORVANE_TEST_PIECE_B_HEX);

struct TKeyCase {
    const char* Name;
    TLocalDateTime Moment;
    const char* Day;
    const char* Minute;
    const char* Year;
    const char* Hour;
    const char* Month;
};

class MinuteKeyLayout : public testing::TestWithParam<TKeyCase> {};

TEST_P(MinuteKeyLayout, JoinsClockFieldsAndPiecesInOrder)
{
    const TKeyCase& c = GetParam();
    const std::string expected = std::string(c.Day) + PieceA + c.Minute + c.Year + PieceB + c.Hour + c.Month;
    const TSecureText key = TCorvaneUtilTestAccess::GetMinuteKey(c.Moment);
    EXPECT_EQ(key.size(), 38u);
    EXPECT_EQ(TestSupport::U8(key), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MinuteKeyLayout,
    testing::Values(TKeyCase{"PaddedSmallFields", {2024, 3, 5, 7, 9, 58, 999}, "05", "09", "2024", "07", "03"},
                    TKeyCase{"LargestFields", {1999, 12, 31, 23, 59, 0, 0}, "31", "59", "1999", "23", "12"},
                    TKeyCase{"Midnight", {2025, 1, 1, 0, 0, 0, 0}, "01", "00", "2025", "00", "01"},
                    TKeyCase{"FourDigitYearPadded", {987, 6, 15, 12, 30, 0, 0}, "15", "30", "0987", "12", "06"}),
    [](const testing::TestParamInfo<TKeyCase>& info) { return std::string(info.param.Name); });

TEST(MinuteKey, SecondsDoNotEnterTheKey)
{
    EXPECT_EQ(TCorvaneUtilTestAccess::GetMinuteKey({2024, 5, 6, 10, 15, 0, 0}),
              TCorvaneUtilTestAccess::GetMinuteKey({2024, 5, 6, 10, 15, 59, 999}));
}

TEST(MinuteKey, ConfiguredPiecesAreThirteenPrintableCharacters)
{
    for (const std::string& piece : {PieceA, PieceB}) {
        ASSERT_EQ(piece.size(), 13u);
        for (const char c : piece)
            EXPECT_TRUE(c >= '!' && c <= '~') << piece;
    }
}

}  // namespace
