// The POSIX RAS layer: RasDialW over an INI phonebook, running the entry's command.

#ifndef _WIN32

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "dialer/DialerHarness.h"
#include "platform/RasRecords.h"
#include "support/TestSupport.h"

extern "C" std::uint32_t RasDialW(void* lpRasDialExtensions, const char16_t* lpszPhonebook, void* lpRasDialParams,
                                  std::uint32_t dwNotifierType, void* lpvNotifier, void** lphRasConn);

namespace fs = std::filesystem;
using TestSupport::U16;
using TestSupport::U8;

namespace {

// Makes the command's view of its environment visible to the test.
constexpr const char* ReportCommand =
    "Command=sh -c \"printenv CORVANE_RAS_ENTRY_NAME CORVANE_RAS_USER_NAME CORVANE_RAS_PASSWORD "
    "CORVANE_RAS_PHONE_NUMBER CORVANE_RAS_PHONEBOOK > $CORVANE_TEST_REPORT\"";

template <std::size_t N>
void Put(char16_t (&field)[N], const std::u16string& text)
{
    ASSERT_LT(text.size(), N);
    std::copy(text.begin(), text.end(), field);
    field[text.size()] = u'\0';
}

class RasLayer : public ::testing::Test {
protected:
    void SetUp() override
    {
        Report = Folder / "report";
        setenv("CORVANE_TEST_REPORT", Report.c_str(), 1);
        TestSupport::WriteFileBytes(Folder / "book.pbk", std::string("[office]\n") + ReportCommand +
                                                             "\n[fails]\nCommand=sh -c \"exit 3\"\n"
                                                             "[killed]\nCommand=sh -c \"kill -9 $$\"\n"
                                                             "[absent]\nCommand=/nonexistent/connect-up\n"
                                                             "[unusable]\nCommand=up \"unclosed\n"
                                                             "[empty]\nOther=1\n");
        Phonebook = U16((Folder / "book.pbk").string());
        Extensions.dwSize = sizeof Extensions;
        Extensions.RasEapInfo.dwSizeofEapInfo = sizeof(RASEAPINFO);
        Params.dwSize = sizeof Params;
        Put(Params.szEntryName, u"office");
        Put(Params.szPhoneNumber, u"0312345678");
        Put(Params.szUserName, u"taro");
        Put(Params.szPassword, u"s3cret pass");
    }

    void TearDown() override { unsetenv("CORVANE_TEST_REPORT"); }

    std::uint32_t Dial() { return RasDialW(&Extensions, Phonebook.c_str(), &Params, 0, nullptr, &Connection); }

    TestSupport::TTempDir Folder;
    fs::path Report;
    std::u16string Phonebook;
    RASDIALEXTENSIONS Extensions{};
    RASDIALPARAMSW Params{};
    void* Connection = nullptr;
};

TEST_F(RasLayer, CommandReceivesTheCredentialsThroughItsEnvironmentOnly)
{
    ASSERT_EQ(Dial(), 0u);

    const TBytes report = TestSupport::ReadFileBytes(Report);
    EXPECT_EQ(std::string(report.begin(), report.end()),
              "office\ntaro\ns3cret pass\n0312345678\n" + (Folder / "book.pbk").string() + "\n");
}

TEST_F(RasLayer, JapaneseEntryAndCredentialsArriveAsUtf8)
{
    TestSupport::WriteFileBytes(Folder / "book.pbk", std::string("[本社 VPN]\n") + ReportCommand + "\n");
    Put(Params.szEntryName, u"本社 VPN");
    Put(Params.szPassword, u"パスワード");

    ASSERT_EQ(Dial(), 0u);

    const TBytes report = TestSupport::ReadFileBytes(Report);
    const std::string expected = "本社 VPN\ntaro\nパスワード\n";
    EXPECT_EQ(std::string(report.begin(), report.end()).substr(0, expected.size()), expected);
}

TEST_F(RasLayer, EmptyPhonebookPathMeansTheDefaultOne)
{
    setenv("CORVANE_RAS_DEFAULT_PHONEBOOK", (Folder / "book.pbk").c_str(), 1);
    const std::uint32_t result = RasDialW(&Extensions, u"", &Params, 0, nullptr, &Connection);
    unsetenv("CORVANE_RAS_DEFAULT_PHONEBOOK");

    EXPECT_EQ(result, 0u);
    EXPECT_TRUE(fs::exists(Report));
}

struct TResultCase {
    const char* Name;
    const char16_t* Entry;
    std::uint32_t Result;
};

class RasLayerResult : public RasLayer, public ::testing::WithParamInterface<TResultCase> {};

TEST_P(RasLayerResult, EntryGivesItsRasCode)
{
    Put(Params.szEntryName, GetParam().Entry);
    EXPECT_EQ(Dial(), GetParam().Result);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, RasLayerResult,
    ::testing::Values(TResultCase{"Connected", u"office", 0}, TResultCase{"CommandFails", u"fails", 651},
                      TResultCase{"CommandKilled", u"killed", 651}, TResultCase{"CommandCannotStart", u"absent", 608},
                      TResultCase{"EntryMissing", u"home", 623}, TResultCase{"CommandUnusable", u"unusable", 625},
                      TResultCase{"CommandMissing", u"empty", 625}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(RasLayer, UnreadablePhonebookGives621)
{
    for (const fs::path& path : {Folder / "missing.pbk", Folder.Path()}) {
        Phonebook = U16(path.string());
        EXPECT_EQ(Dial(), 621u) << path;
    }
}

TEST_F(RasLayer, RecordsOfAnotherShapeAreRefused)
{
    Params.dwSize = 2112;
    EXPECT_EQ(Dial(), 632u);
    Params.dwSize = sizeof Params;

    Extensions.dwSize = 48;
    EXPECT_EQ(Dial(), 632u);
    Extensions.dwSize = sizeof Extensions;

    // A field without its terminator would read into the next one.
    std::fill(std::begin(Params.szUserName), std::end(Params.szUserName), u'x');
    EXPECT_EQ(Dial(), 87u);
    EXPECT_FALSE(fs::exists(Report));
}

TEST_F(RasLayer, OnlySynchronousDialsAreTaken)
{
    int notifier = 0;
    EXPECT_EQ(RasDialW(&Extensions, Phonebook.c_str(), &Params, 1, &notifier, &Connection), 87u);
    EXPECT_EQ(RasDialW(&Extensions, Phonebook.c_str(), &Params, 0, nullptr, nullptr), 87u);
    EXPECT_FALSE(fs::exists(Report));
}

// The dialer with the real layer beside it, from parameter block to the command's environment.
TEST_F(RasLayer, DialerBringsTheConnectionUpThroughTheLayer)
{
    DialerTesting::TDialerHarness harness;
    harness.UseRasLibrary(DialerTesting::TRasLibrary::Missing);
    fs::copy_file(TestSupport::ProgramDir() / "librasapi32.so", harness.DialerPath().parent_path() / "librasapi32.so");
    const std::u16string book = U16((Folder / "book.pbk").string());

    EXPECT_EQ(harness.RunWithItems({book, u"office", u"hanako", u"pa ss", u"0612345678"}).Status, 0u);
    EXPECT_EQ(harness.RunWithItems({book, u"fails", u"hanako", u"pa ss", u"0612345678"}).Status, 51u);

    const TBytes report = TestSupport::ReadFileBytes(Report);
    const std::string expected = "office\nhanako\npa ss\n0612345678\n";
    EXPECT_EQ(std::string(report.begin(), report.end()).substr(0, expected.size()), expected);
    EXPECT_TRUE(harness.Logged().empty());
}

}  // namespace

#endif
