// No block the heap takes back holds the password in clear, on the ways the password travels: into
// a parameter block (EncryptParams), out of one (DecryptParams), and through the dialer's entry up to
// the dial's records. A short password, which a text keeps inside its own object, counts as much as
// a long one, which it keeps in a buffer of its own and copies when it grows.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "CorvaneUtil/CorvaneUtil.h"
#include "core/SecureText.h"
#include "dialer/DialerEntry.h"
#include "dialer/FreedBlockProbe.h"
#include "platform/RasRecords.h"
#include "rtl/DateUtils.h"
#include "rtl/StringList.h"

namespace {

constexpr TLocalDateTime MadeAt{2024, 5, 6, 10, 15, 59, 400};

// A run this long of the password's characters counts as a copy; shorter passwords count whole.
constexpr std::size_t CopyWindow = 8;

struct TPasswordCase {
    const char* Name;
    const char16_t* Password;  // ASCII, with no run of CopyWindow characters found in the other texts
};

void PrintTo(const TPasswordCase& c, std::ostream* os)
{
    *os << c.Name;
}

// What the dial's RasDialW received in the password field.
std::u16string_view GExpectedPassword;
bool GPasswordArrived = false;

std::uint32_t CheckingRasDialW(void*, const char16_t*, void* params, std::uint32_t, void*, void**)
{
    const auto& record = *static_cast<const RASDIALPARAMSW*>(params);
    GPasswordArrived = std::u16string_view(record.szPassword) == GExpectedPassword;
    return 0;
}

TRasDialWFunction BindCheckingRasDialW()
{
    return &CheckingRasDialW;
}

// Keeps the compiler from leaving out an allocation the test makes on purpose.
void KeepAlive(const void* p)
{
    asm volatile("" : : "r"(p) : "memory");
}

class FreedPassword : public ::testing::TestWithParam<TPasswordCase> {
protected:
    void SetUp() override
    {
        if (const auto reason = FreedBlockProbe::Unavailable())
            GTEST_SKIP() << *reason;
    }

    static std::u16string_view Password() { return GetParam().Password; }
    static std::size_t Window() { return std::min(CopyWindow, Password().size()); }

    static TStringList Items()
    {
        TStringList items;
        for (const std::u16string_view item :
             {std::u16string_view(u"C:\\pbk\\office.pbk"), std::u16string_view(u"Office"), std::u16string_view(u"taro"),
              Password(), std::u16string_view(u"")})
            items.Add(item);
        return items;
    }
};

TEST_P(FreedPassword, ProbeFindsPlainCopies)
{
    FreedBlockProbe::TWatch watch(Password(), Window());
    {
        const auto wide = std::make_unique<std::u16string>(Password());
        const auto narrow = std::make_unique<std::string>(Password().begin(), Password().end());
        KeepAlive(wide->data());
        KeepAlive(narrow->data());
    }
    EXPECT_EQ(watch.Count(), 2u) << watch.Findings();
}

TEST_P(FreedPassword, EncryptParamsLeavesNoCopy)
{
    std::u16string block;
    {
        FreedBlockProbe::TWatch watch(Password(), Window());
        {
            const TStringList items = Items();
            TCorvaneUtil::EncryptParams(items, block, MadeAt);
        }
        EXPECT_EQ(watch.Count(), 0u) << watch.Findings();
    }
    EXPECT_FALSE(block.empty());
}

TEST_P(FreedPassword, DecryptParamsLeavesNoCopy)
{
    std::u16string block;
    TCorvaneUtil::EncryptParams(Items(), block, MadeAt);

    FreedBlockProbe::TWatch watch(Password(), Window());
    {
        TStringList items;
        TCorvaneUtil::DecryptParams(block, items, MadeAt);
        ASSERT_EQ(items.Count(), 5);
        EXPECT_TRUE(items.Get(3) == Password());
    }
    EXPECT_EQ(watch.Count(), 0u) << watch.Findings();
}

TEST_P(FreedPassword, DialerEntryLeavesNoCopy)
{
    // Made under the local clock, as the dialer reads it.
    std::u16string block;
    TCorvaneUtil::EncryptParams(Items(), block);
    GExpectedPassword = Password();
    GPasswordArrived = false;

    FreedBlockProbe::TWatch watch(Password(), Window());
    EXPECT_EQ(DialParameterBlock(block, &BindCheckingRasDialW), 0u);
    EXPECT_TRUE(GPasswordArrived);
    EXPECT_EQ(watch.Count(), 0u) << watch.Findings();
}

// The dialer's search for the minute of a refused block decrypts it under the minute it was made
// for, password and all: what it decrypted goes wiped.
TEST_P(FreedPassword, RefusedBlockSearchLeavesNoCopy)
{
    std::u16string block;
    TCorvaneUtil::EncryptParams(Items(), block, IncMinute(MadeAt, -7));
    FreedBlockProbe::TWatch watch(Password(), Window());
    EXPECT_THROW(DialParameterBlock(block, &BindCheckingRasDialW, MadeAt, TMinuteSearch{}), EParamsRejected);
    EXPECT_EQ(watch.Count(), 0u) << watch.Findings();
}

// The block itself carries the password to anyone who finds its minute: no freed block holds a run
// of it either, made (known only afterwards), read, refused or dialed.
constexpr std::size_t BlockWindow = 16;

std::size_t BlockCopies(const FreedBlockProbe::TRecording& recording, std::u16string_view block, std::string& findings)
{
    return recording.CountCopies(block, BlockWindow, BlockWindow, findings);
}

TEST_P(FreedPassword, EncryptParamsLeavesNoCopyOfTheBlock)
{
    std::u16string block;
    FreedBlockProbe::TRecording recording;
    {
        const TStringList items = Items();
        TCorvaneUtil::EncryptParams(items, block, MadeAt);
    }
    recording.Stop();
    ASSERT_TRUE(recording.Complete());
    std::string findings;
    EXPECT_EQ(BlockCopies(recording, block, findings), 0u) << findings;
}

TEST_P(FreedPassword, DecryptParamsLeavesNoCopyOfTheBlock)
{
    std::u16string block;
    TCorvaneUtil::EncryptParams(Items(), block, MadeAt);
    // Accepted, refused without a search, refused after one that finds its minute.
    for (const TLocalDateTime& now : {MadeAt, IncMinute(MadeAt, 5)}) {
        for (const int span : {0, 26 * 60}) {
            TMinuteSearch search;
            search.Span = span;
            FreedBlockProbe::TRecording recording;
            try {
                TStringList items;
                TCorvaneUtil::DecryptParams(block, items, now, search);
            } catch (const EParamsRejected&) {
            }
            recording.Stop();
            ASSERT_TRUE(recording.Complete());
            std::string findings;
            EXPECT_EQ(BlockCopies(recording, block, findings), 0u) << findings;
        }
    }
}

TEST_P(FreedPassword, DialerEntryLeavesNoCopyOfTheBlock)
{
    std::u16string block;
    TCorvaneUtil::EncryptParams(Items(), block);
    GExpectedPassword = Password();
    FreedBlockProbe::TRecording recording;
    EXPECT_EQ(DialParameterBlock(block, &BindCheckingRasDialW), 0u);
    recording.Stop();
    ASSERT_TRUE(recording.Complete());
    std::string findings;
    EXPECT_EQ(BlockCopies(recording, block, findings), 0u) << findings;
}

// What a wiping text does with a password on the way, each left behind in no freed block.
struct TTextOperation {
    const char* Name;
    void (*Run)(std::u16string_view password);
};

void PrintTo(const TTextOperation& operation, std::ostream* os)
{
    *os << operation.Name;
}

const TTextOperation TextOperations[] = {
    {"GrowsOneCharacterAtATime",
     [](std::u16string_view password) {
         TSecureText text;
         for (const char16_t c : password)
             text.push_back(c);
         KeepAlive(text.data());
     }},
    {"IsCopiedAndAssigned",
     [](std::u16string_view password) {
         const TSecureText original(password);
         TSecureText shortOne(u"x");
         TSecureText longOne(std::u16string(100, u'y'));
         shortOne = original;
         longOne = original;
         TSecureText copy(original);
         KeepAlive(copy.data());
     }},
    {"MovesWithinAGrowingList",
     [](std::u16string_view password) {
         std::vector<TSecureText> texts;
         for (int i = 0; i < 20; ++i)
             texts.emplace_back(password);
         TSecureText moved(std::move(texts.front()));
         texts.back() = std::move(moved);
         KeepAlive(texts.data());
     }},
    {"IsClearedAndReused",
     [](std::u16string_view password) {
         TSecureText text(password);
         text.clear();
         text.append(u"0123456789");
         KeepAlive(text.data());
     }},
    {"IsTakenOverFromAPlainString",
     [](std::u16string_view password) {
         const auto plain = std::make_unique<std::u16string>(password);
         const TSecureText text = TSecureText::TakeOver(*plain);
         KeepAlive(text.data());
     }},
};

class FreedWipingText : public ::testing::TestWithParam<std::tuple<TTextOperation, TPasswordCase>> {
protected:
    void SetUp() override
    {
        if (const auto reason = FreedBlockProbe::Unavailable())
            GTEST_SKIP() << *reason;
    }
};

TEST_P(FreedWipingText, LeavesNoCopy)
{
    const auto& [operation, password] = GetParam();
    const std::u16string_view text = password.Password;
    FreedBlockProbe::TWatch watch(text, std::min(CopyWindow, text.size()));
    operation.Run(text);
    EXPECT_EQ(watch.Count(), 0u) << watch.Findings();
}

const TPasswordCase Passwords[] = {
    // Fits the short-text buffer inside a text object.
    {"Short", u"x#Q7!k"},
    {"Long", u"Qv7#mZ2!xR9@kT4$wL6%"},
    // Quoted in the parameter block, its quote doubled.
    {"QuotedInTheBlock", u"p\"w 7#Kq!z@M2$vB&"},
    // Long enough for the texts to grow several times on the way.
    {"Longest", u"K3#vQ9!mZ7@xR2$wT5%nL8^pB4&jH6*dF1(gS0)cY~uE-iO+aW=oI"},
};

INSTANTIATE_TEST_SUITE_P(Operations, FreedWipingText,
                         ::testing::Combine(::testing::ValuesIn(TextOperations), ::testing::ValuesIn(Passwords)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).Name) + "_" + std::get<1>(info.param).Name;
                         });

INSTANTIATE_TEST_SUITE_P(Passwords, FreedPassword, ::testing::ValuesIn(Passwords),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
