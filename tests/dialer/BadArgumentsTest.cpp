// The dialer given whatever a launching program might hand it: random bytes, base64 of random
// containers, blocks under wrong keys, texts up to 32,768 characters, non-ASCII. Every run ends
// with 9999 and appends exactly one intact record naming the argument, and nothing else.
//
// The generated arguments come from a fixed seed, so a failure repeats. CTest runs a sample;
// CORVANE_BAD_ARGUMENT_RUNS asks for more (scripts/fuzz --bad-arguments 10000). Under Wine,
// where every process start is slow, the sample is smaller.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "CorvaneUtil/CorvaneUtil.h"
#include "Utils/Util.CryptoU.h"
#include "dialer/DialerHarness.h"
#include "dialer/RefusalText.h"
#include "support/TestSupport.h"

using namespace DialerTesting;

namespace {

constexpr std::uint32_t NoDialResult = 9999;
constexpr int SampleRuns = 200;
constexpr int SampleRunsUnderWine = 20;
constexpr std::size_t LongestArgument = 32768;
// A log below this size is never rotated by the next record, so each run's record stays in view.
constexpr std::uintmax_t FreshLogBelow = 60000;

int RunsAsked()
{
    const char* asked = std::getenv("CORVANE_BAD_ARGUMENT_RUNS");
    const int runs = asked ? std::atoi(asked) : 0;
    if (runs > 0)
        return runs;
    return TestSupport::RunningUnderWine() ? SampleRunsUnderWine : SampleRuns;
}

class TArgumentMaker {
public:
    explicit TArgumentMaker(std::uint32_t seed) : FRandom(seed) {}

    std::string Next()
    {
        switch (Below(5)) {
            case 0:
                return RandomBytes(Length());
            case 1:
                return Base64Of(RandomBytes(Length()));
            case 2:
                return BlockUnderWrongKey();
            case 3:
                return std::string(Below(LongestArgument) + 1, "AQZaz09+/="[Below(10)]);
            default:
                return NonAscii(Length());
        }
    }

private:
    std::size_t Below(std::size_t bound) { return std::uniform_int_distribution<std::size_t>(0, bound - 1)(FRandom); }
    // Mostly short, sometimes up to the longest argument a command line carries.
    std::size_t Length() { return Below(8) == 0 ? Below(LongestArgument / 4) + 1 : Below(300) + 1; }

    // Bytes 1 to 255: an argument cannot hold a zero byte.
    std::string RandomBytes(std::size_t length)
    {
        std::string bytes(length, '\0');
        for (char& c : bytes)
            c = static_cast<char>(Below(255) + 1);
        return bytes;
    }

    static std::string Base64Of(const std::string& bytes)
    {
        return EncodeBase64Text(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                static_cast<std::int32_t>(bytes.size()), TBase64FormattingOptions::None);
    }

    std::string BlockUnderWrongKey()
    {
        std::u16string block;
        const std::u16string key = TestSupport::U16("wrong key " + std::to_string(Below(1000000)));
        EXPECT_TRUE(TCorvaneUtil::Encrypt(u"0123456789abcdef0123456789abcdef/book entry user pass 123", key, block));
        return TestSupport::U8(block);
    }

    std::string NonAscii(std::size_t length)
    {
        static const char* const Pieces[] = {"電話帳",           "パスワード", "é",    "\xEF\xBF\xBD",
                                             "\xF0\x9F\x94\x91", "\xC3",       "\x80", " "};
        std::string text;
        while (text.size() < length)
            text += Pieces[Below(std::size(Pieces))];
        return text;
    }

    std::mt19937 FRandom;
};

#ifdef _WIN32
// Whether the digest is that of a refusal of the argument as the dialer received it: for any
// reason, and for a search for its minute cut short anywhere.
bool IsDigestOfARefusal(const std::u16string& digest, const std::u16string& argument)
{
    std::vector<std::u16string> messages{
        RefusalText::Message(argument, RefusalText::NoArgument), RefusalText::Message(argument, RefusalText::TooShort),
        RefusalText::Message(argument, RefusalText::NoKey, RefusalText::NoMinuteVerifies())};
    for (int searched = 0; searched < 26 * 60; ++searched)
        messages.push_back(RefusalText::Message(argument, RefusalText::NoKey, RefusalText::SearchCutShort(searched)));
    for (const std::u16string& message : messages)
        if (TCorvaneUtil::GetHashMD5String(message) == digest)
            return true;
    return false;
}
#endif

// A harness whose dialer may run through faketime, which a sanitizer build refuses to preload
// unless told not to check.
std::unique_ptr<TDialerHarness> MakeHarness()
{
    auto harness = std::make_unique<TDialerHarness>();
    const char* asanOptions = std::getenv("ASAN_OPTIONS");
    harness->Environment().emplace_back(
        "ASAN_OPTIONS", std::string(asanOptions != nullptr ? asanOptions : "") + ":verify_asan_link_order=0");
    return harness;
}

TEST(BadArguments, EveryRunEndsWith9999AndAppendsOneIntactRecord)
{
#ifdef _WIN32
    if (!TestSupport::RunningUnderWine())
        GTEST_SKIP() << "selects the RAS library through Wine's DLL overrides";
#endif
    const int runs = RunsAsked();
    TArgumentMaker maker(20260314);
    auto harness = MakeHarness();
    std::size_t recordsBefore = 0;
    for (int run = 0; run < runs; ++run) {
        std::error_code ignored;
        if (std::filesystem::exists(harness->LogFile()) &&
            std::filesystem::file_size(harness->LogFile(), ignored) >= FreshLogBelow) {
            harness = MakeHarness();
            recordsBefore = 0;
        }
        const std::string argument = maker.Next();
        SCOPED_TRACE("run " + std::to_string(run) + ", argument of " + std::to_string(argument.size()) + " bytes");

#ifdef _WIN32
        const TestSupport::TChildExit exit = harness->Run({argument});
#else
        // A clock a thousand times fast ends the search for a refused block's minute after a few
        // minutes tried instead of thousands; what the search finds is MinuteWindowTest's.
        const TestSupport::TChildExit exit =
            harness->RunThrough("faketime", {"-f", "+0 x1000", harness->DialerPath().string(), argument});
#endif

        ASSERT_EQ(exit.Status, SeenStatus(NoDialResult));
        ASSERT_EQ(exit.Output, "");
        ASSERT_FALSE(harness->Recorded());
        const std::vector<TLoggedMessage> logged = harness->Logged();
        ASSERT_EQ(logged.size(), recordsBefore + 1);
        const TLoggedMessage& last = logged.back();
#ifdef _WIN32
        // The body carries the message in the ANSI code page, which need not hold the argument's
        // characters; the digest was taken over the message as the dialer received it.
        ASSERT_TRUE(IsDigestOfARefusal(last.Digest, TestSupport::U16(argument)));
#else
        ASSERT_EQ(last.Digest, TCorvaneUtil::GetHashMD5String(last.Message));
#endif
        ASSERT_EQ(last.Message.rfind(AsLogged(u"下記文字列の復号化に失敗\r\n"), 0), 0u);
        // The record never quotes the argument.
        if (argument.size() >= 16) {
            ASSERT_EQ(TestSupport::U8(last.Message).find(argument.substr(0, 16)), std::string::npos);
        }
        recordsBefore = logged.size();
    }
    std::cout << "[ BAD ARGS ] " << runs << " runs\n";
}

// Lengths around and far beyond each field's limit: one under it dials, one far over it ends with
// the invalid-parameter status before any dial and without a record.
struct TFieldLength {
    const char* Name;
    std::size_t Item;
    std::size_t Length;
    bool Dials;
};

class FieldLength : public ::testing::TestWithParam<TFieldLength> {};

TEST_P(FieldLength, DialsOnlyWithinTheLimit)
{
#ifdef _WIN32
    if (!TestSupport::RunningUnderWine())
        GTEST_SKIP() << "selects the RAS library through Wine's DLL overrides";
#endif
    std::vector<std::u16string> items{u"book", u"entry", u"user", u"password", u"123"};
    items[GetParam().Item] = std::u16string(GetParam().Length, u'7');
    TDialerHarness harness;

    const TestSupport::TChildExit exit = harness.RunWithItems(items);

    EXPECT_EQ(exit.Output, "");
    EXPECT_EQ(harness.Recorded().has_value(), GetParam().Dials);
    if (!GetParam().Dials) {
        EXPECT_EQ(exit.Status, SeenStatus(87));
        EXPECT_TRUE(harness.Logged().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, FieldLength,
    ::testing::Values(TFieldLength{"EntryName255", 1, 255, true}, TFieldLength{"EntryName10000", 1, 10000, false},
                      TFieldLength{"UserName255", 2, 255, true}, TFieldLength{"UserName10000", 2, 10000, false},
                      TFieldLength{"Password255", 3, 255, true}, TFieldLength{"Password10000", 3, 10000, false},
                      TFieldLength{"PhoneNumber127", 4, 127, true}, TFieldLength{"PhoneNumber10000", 4, 10000, false}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
