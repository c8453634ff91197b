// The C example (examples/c), built against the SDK layout, run as a launching program: its block
// is read by the dialer itself, which hands the items to the recording RAS double.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "dialer/DialerHarness.h"
#include "launch/LaunchTesting.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#endif

using namespace TestSupport;
using namespace DialerTesting;
using namespace LaunchTesting;

namespace {

// The example as built here, or the one CORVANE_LAUNCH_EXAMPLE names (scripts/sdk runs these tests
// on its 32-bit builds, made from the SDK's files).
std::filesystem::path ExampleProgram()
{
    const char* other = std::getenv("CORVANE_LAUNCH_EXAMPLE");
    return other != nullptr && other[0] != '\0' ? std::filesystem::path(other) : BuiltProgram("launch_example");
}

TEST(LaunchExampleTest, CExampleMakesReadsAndDials)
{
    TDialerHarness harness;
    harness.SetDialResult(0);
    const auto run = RunCaptured(
        ExampleProgram(),
        {harness.DialerPath().string(), "C:\\pb\\book.pbk", "office vpn", "alice", "pa ss \"word\"", "vpn.example"}, {},
        harness.DialerEnvironment());
    EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    EXPECT_NE(run.Out.find("read back: the five items"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("dial result 0: success: the connection was made"), std::string::npos) << run.Out;
    const auto dial = harness.Recorded();
    ASSERT_TRUE(dial.has_value());
    EXPECT_EQ(dial->Phonebook, u"C:\\pb\\book.pbk");
}

TEST(LaunchExampleTest, CExampleReportsARefusedDial)
{
    TDialerHarness harness;
    harness.SetDialResult(691);
    const auto run = RunCaptured(ExampleProgram(), {harness.DialerPath().string()}, {}, harness.DialerEnvironment());
    EXPECT_EQ(run.ExitCode, 1) << run.Out << run.Err;
    EXPECT_NE(run.Out.find("dial result 691: "), std::string::npos) << run.Out;
}

// Items beyond ASCII, each case under the ANSI code page that carries it (the example makes its
// blocks in the system's code page, as the dialer reads them; Wine's follows the Unix locale of the
// test program: 1252 in C, 932 in ja_JP.UTF-8, and the test corvane_launch_examples.cp932 runs
// these there). On Windows the example takes them from its UTF-16 command line, not from the ANSI
// argv, where they are no UTF-8 or have become "?". POSIX runs every case in UTF-8.
struct TCodePageItems {
    unsigned CodePage;
    const char* User;
    const char* Password;
};

class LaunchExampleCodePageTest : public testing::TestWithParam<TCodePageItems> {};

TEST_P(LaunchExampleCodePageTest, CExampleHandsOnItemsBeyondAscii)
{
    const TCodePageItems& items = GetParam();
#ifdef _WIN32
    if (GetACP() != items.CodePage)
        GTEST_SKIP() << "these items are for code page " << items.CodePage << "; this one is " << GetACP();
#endif
    TDialerHarness harness;
    harness.SetDialResult(0);
    const auto run = RunCaptured(
        ExampleProgram(),
        {harness.DialerPath().string(), "C:\\pb\\book.pbk", "office vpn", items.User, items.Password, "vpn.example"},
        {}, harness.DialerEnvironment());
    EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    const auto dial = harness.Recorded();
    ASSERT_TRUE(dial.has_value()) << run.Out << run.Err;
    EXPECT_EQ(TextAt(dial->Params, UserNameOffset), U16(items.User));
    EXPECT_EQ(TextAt(dial->Params, PasswordOffset), U16(items.Password));
}

INSTANTIATE_TEST_SUITE_P(Items, LaunchExampleCodePageTest,
                         testing::Values(TCodePageItems{1252, "jürgen", "pässword"},
                                         TCodePageItems{932, "山田 太郎", "パスワード"}));

#ifdef _WIN32
// The folder the package records, in the registry's 64-bit view; the value is removed (or what was
// there put back) when the test ends.
class TRecordedInstallLocation {
public:
    explicit TRecordedInstallLocation(const std::wstring& folder)
    {
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, Key, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY,
                            nullptr, &FKey, nullptr) != ERROR_SUCCESS)
            throw std::runtime_error("cannot open the dialer's registry key");
        DWORD size = sizeof FSaved - sizeof FSaved[0];
        FHadValue =
            RegQueryValueExW(FKey, Value, nullptr, nullptr, reinterpret_cast<BYTE*>(FSaved), &size) == ERROR_SUCCESS;
        Set(folder.c_str());
    }
    ~TRecordedInstallLocation()
    {
        if (FHadValue)
            Set(FSaved);
        else
            RegDeleteValueW(FKey, Value);
        RegCloseKey(FKey);
    }
    TRecordedInstallLocation(const TRecordedInstallLocation&) = delete;
    TRecordedInstallLocation& operator=(const TRecordedInstallLocation&) = delete;

private:
    static constexpr const wchar_t* Key = L"SOFTWARE\\Orvex\\Corvane Dialer";
    static constexpr const wchar_t* Value = L"InstallLocation";

    void Set(const wchar_t* folder)
    {
        const DWORD size = static_cast<DWORD>((wcslen(folder) + 1) * sizeof(wchar_t));
        RegSetValueExW(FKey, Value, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder), size);
    }

    HKEY FKey = nullptr;
    bool FHadValue = false;
    wchar_t FSaved[MAX_PATH + 1] = {};
};

TEST(LaunchExampleTest, CExampleFindsTheInstalledDialer)
{
    TDialerHarness harness;
    harness.SetDialResult(0);
    TRecordedInstallLocation recorded(harness.DialerPath().parent_path().wstring() + L"\\");
    const auto run = RunCaptured(ExampleProgram(), {"C:\\pb\\book.pbk", "office vpn", "alice", "pa ss", "vpn.example"},
                                 {}, harness.DialerEnvironment());
    EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    const auto dial = harness.Recorded();
    ASSERT_TRUE(dial.has_value()) << run.Out << run.Err;
    EXPECT_EQ(dial->Phonebook, u"C:\\pb\\book.pbk");
}
#endif

}  // namespace
