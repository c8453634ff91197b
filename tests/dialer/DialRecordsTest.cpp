// The records the dialer hands to RasDialW, byte for byte, as the recording double received them.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dialer/DialerHarness.h"
#include "doubles/RasDialRecording.h"
#include "platform/CodePage.h"
#include "support/TestSupport.h"

using namespace DialerTesting;

namespace {

constexpr std::size_t EntryNameOffset = 4;
constexpr std::size_t PhoneNumberOffset = 518;
constexpr std::size_t CallbackNumberOffset = 776;
constexpr std::size_t UserNameOffset = 1034;
constexpr std::size_t PasswordOffset = 1548;
constexpr std::size_t DomainOffset = 2062;
constexpr std::size_t SubEntryOffset = 2096;
constexpr std::size_t CallbackIdOffset = 2100;

TBytes LittleEndian(std::uint64_t value, std::size_t size)
{
    TBytes bytes;
    for (std::size_t i = 0; i < size; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> 8 * i));
    return bytes;
}

// The text in UTF-16LE with its terminator.
TBytes TerminatedText(const std::u16string& text)
{
    TBytes bytes;
    for (const char16_t c : text + u'\0') {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

TBytes Slice(const TBytes& bytes, std::size_t offset, std::size_t size)
{
    return TBytes(bytes.begin() + offset, bytes.begin() + offset + size);
}

#define EXPECT_BYTES_AT(record, offset, expected)                                                         \
    EXPECT_EQ(TestSupport::ToHex(Slice(record, offset, (expected).size())), TestSupport::ToHex(expected)) \
        << "at offset " << (offset)

class DialRecords : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifdef _WIN32
        if (!TestSupport::RunningUnderWine())
            GTEST_SKIP() << "selects the RAS library through Wine's DLL overrides";
#endif
    }

    TRecordedDial DialWith(const std::vector<std::u16string>& items)
    {
        const TestSupport::TChildExit exit = Harness.RunWithItems(items);
        EXPECT_EQ(exit.Status, 0u);
        const std::optional<TRecordedDial> recorded = Harness.Recorded();
        if (!recorded)
            throw std::runtime_error("no dial was made");
        return *recorded;
    }

    TDialerHarness Harness;
};

TEST_F(DialRecords, ExtensionsRecordIsPacked44BytesWithEapSizeTwelve)
{
    const TRecordedDial dial = DialWith({u"book", u"entry", u"user", u"password", u"123"});

    TBytes expected = LittleEndian(44, 4);           // dwSize
    for (const TBytes& part : {LittleEndian(0, 4),   // dwfOptions
                               LittleEndian(0, 8),   // hwndParent
                               LittleEndian(0, 8),   // reserved
                               LittleEndian(0, 8),   // reserved1
                               LittleEndian(12, 4),  // RasEapInfo.dwSizeofEapInfo
                               LittleEndian(0, 8)})  // RasEapInfo.pbEapInfo
        expected.insert(expected.end(), part.begin(), part.end());
    EXPECT_EQ(TestSupport::ToHex(dial.Extensions), TestSupport::ToHex(expected));
}

TEST_F(DialRecords, ParametersRecordCarriesEveryFieldAtItsOffset)
{
    const TRecordedDial dial =
        DialWith({u"C:\\pbk\\office.pbk", u"Office VPN", u"taro.yamada", u"p@ss \"w0rd\"", u"+81-3-1234-5678"});
    const TBytes& params = dial.Params;

    EXPECT_BYTES_AT(params, 0u, LittleEndian(2108, 4));
    EXPECT_BYTES_AT(params, EntryNameOffset, TerminatedText(u"Office VPN"));
    EXPECT_BYTES_AT(params, PhoneNumberOffset, TerminatedText(u"+81-3-1234-5678"));
    EXPECT_BYTES_AT(params, CallbackNumberOffset, TerminatedText(u""));
    EXPECT_BYTES_AT(params, UserNameOffset, TerminatedText(u"taro.yamada"));
    EXPECT_BYTES_AT(params, PasswordOffset, TerminatedText(u"p@ss \"w0rd\""));
    EXPECT_BYTES_AT(params, DomainOffset, TerminatedText(u""));
    EXPECT_BYTES_AT(params, SubEntryOffset, LittleEndian(0, 4));
    EXPECT_BYTES_AT(params, CallbackIdOffset, LittleEndian(0, 8));
    EXPECT_EQ(dial.Phonebook, u"C:\\pbk\\office.pbk");
}

TEST_F(DialRecords, EmptyItemsAndCommasReachTheDialUnchanged)
{
    // An empty phone number is common for a VPN entry; a comma is a fine character in a password.
    const TRecordedDial dial = DialWith({u"", u"", u"", u"pa,ss", u""});
    EXPECT_EQ(dial.Phonebook, u"");
    EXPECT_BYTES_AT(dial.Params, EntryNameOffset, TerminatedText(u""));
    EXPECT_BYTES_AT(dial.Params, UserNameOffset, TerminatedText(u""));
    EXPECT_BYTES_AT(dial.Params, PasswordOffset, TerminatedText(u"pa,ss"));
    EXPECT_BYTES_AT(dial.Params, PhoneNumberOffset, TerminatedText(u""));
}

TEST_F(DialRecords, CallIsSynchronousWithAFreshHandle)
{
    using namespace RasDialRecording;
    const TRecordedDial dial = DialWith({u"book", u"entry", u"user", u"password", u"123"});

    EXPECT_EQ(dial.NotifierType, 0u);
    EXPECT_EQ(dial.Flags, ExtensionsGiven | PhonebookGiven | HandleGiven | HandleWasNull);
}

TEST_F(DialRecords, ItemsAfterTheFifthAreIgnored)
{
    const TRecordedDial dial = DialWith({u"book", u"entry", u"user", u"password", u"123", u"sixth", u"seventh"});

    EXPECT_EQ(dial.Phonebook, u"book");
    EXPECT_BYTES_AT(dial.Params, EntryNameOffset, TerminatedText(u"entry"));
    EXPECT_BYTES_AT(dial.Params, UserNameOffset, TerminatedText(u"user"));
    EXPECT_BYTES_AT(dial.Params, PasswordOffset, TerminatedText(u"password"));
    EXPECT_BYTES_AT(dial.Params, PhoneNumberOffset, TerminatedText(u"123"));
}

TEST_F(DialRecords, JapaneseTextsReachTheRecordsAsUtf16)
{
    if (AnsiCodePage() == 1252)
        GTEST_SKIP() << "the parameter block's payload passes the ANSI code page, and 1252 has no Japanese";
    const TRecordedDial dial = DialWith({u"C:\\電話帳\\本社.pbk", u"本社 VPN", u"山田", u"パスワード", u"123"});

    EXPECT_EQ(dial.Phonebook, u"C:\\電話帳\\本社.pbk");
    EXPECT_BYTES_AT(dial.Params, EntryNameOffset, TerminatedText(u"本社 VPN"));
    EXPECT_BYTES_AT(dial.Params, UserNameOffset, TerminatedText(u"山田"));
    EXPECT_BYTES_AT(dial.Params, PasswordOffset, TerminatedText(u"パスワード"));
}

// Each field holds its limit and a terminator; one character more is refused before any dial.
struct TFieldLimit {
    const char* Name;
    std::size_t Item;  // index in the parameter list
    std::size_t Offset;
    std::size_t Limit;
};

class DialFieldLimit : public DialRecords, public ::testing::WithParamInterface<TFieldLimit> {
protected:
    std::vector<std::u16string> ItemsWith(std::size_t length) const
    {
        std::vector<std::u16string> items{u"book", u"entry", u"user", u"password", u"123"};
        items[GetParam().Item] = std::u16string(length, u'7');
        return items;
    }
};

TEST_P(DialFieldLimit, TextOfTheLimitFills)
{
    const TRecordedDial dial = DialWith(ItemsWith(GetParam().Limit));

    EXPECT_BYTES_AT(dial.Params, GetParam().Offset, TerminatedText(std::u16string(GetParam().Limit, u'7')));
}

TEST_P(DialFieldLimit, LongerTextEndsWithInvalidParameterUnlogged)
{
    const TestSupport::TChildExit exit = Harness.RunWithItems(ItemsWith(GetParam().Limit + 1));

    EXPECT_EQ(exit.Status, SeenStatus(87));
    EXPECT_FALSE(Harness.Recorded());
    EXPECT_TRUE(Harness.Logged().empty());
}

INSTANTIATE_TEST_SUITE_P(Fields, DialFieldLimit,
                         ::testing::Values(TFieldLimit{"EntryName", 1, EntryNameOffset, 256},
                                           TFieldLimit{"UserName", 2, UserNameOffset, 256},
                                           TFieldLimit{"Password", 3, PasswordOffset, 256},
                                           TFieldLimit{"PhoneNumber", 4, PhoneNumberOffset, 128}),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
