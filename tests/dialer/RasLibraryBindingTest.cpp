// Where the dialer takes RasDialW from, and what it does when it cannot.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

#include "CorvaneUtil/CorvaneUtil.h"
#include "dialer/BackgroundDial.h"
#include "dialer/DialerHarness.h"
#include "doubles/RasDialRecording.h"
#include "support/TestSupport.h"

using namespace DialerTesting;

namespace {

const std::vector<std::u16string> FiveItems{u"book", u"entry", u"user", u"password", u"123"};

class RasLibraryBinding : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifdef _WIN32
        if (!TestSupport::RunningUnderWine())
            GTEST_SKIP() << "selects the RAS library through Wine's DLL overrides";
#endif
    }

    void ExpectBindingFailure(const std::u16string& message)
    {
        const TestSupport::TChildExit exit = Harness.RunWithItems(FiveItems);
        EXPECT_EQ(exit.Status, SeenStatus(9999));
        EXPECT_EQ(exit.Output, "");
        EXPECT_FALSE(Harness.Recorded());
        const std::vector<TLoggedMessage> logged = Harness.Logged();
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_EQ(TestSupport::U8(logged[0].Message), TestSupport::U8(AsLogged(message)));
        EXPECT_EQ(logged[0].Digest, TCorvaneUtil::GetHashMD5String(message));
    }

    TDialerHarness Harness;
};

TEST_F(RasLibraryBinding, MissingLibraryIsLoggedAsExternalException7E)
{
    Harness.UseRasLibrary(TRasLibrary::Missing);
    ExpectBindingFailure(u"外部例外 C06D007E");
}

TEST_F(RasLibraryBinding, LibraryWithoutRasDialWIsLoggedAsExternalException7F)
{
    Harness.UseRasLibrary(TRasLibrary::WithoutDial);
    ExpectBindingFailure(u"外部例外 C06D007F");
}

#ifdef _WIN32

// The DLL search order starts beside the executable; the dialer must not use it.
TEST_F(RasLibraryBinding, LibraryPlantedBesideTheDialerIsIgnored)
{
    Harness.UseRasLibrary(TRasLibrary::WithoutDial);
    Harness.PlantBesideDialer(TRasLibrary::Recording);
    ExpectBindingFailure(u"外部例外 C06D007F");
}

#else

TEST_F(RasLibraryBinding, FallsBackToTheDefaultLibrarySearch)
{
    Harness.UseRasLibrary(TRasLibrary::Missing);
    Harness.Environment().emplace_back("LD_LIBRARY_PATH", DoublesDir().string());

    const TestSupport::TChildExit exit = Harness.RunWithItems(FiveItems);

    EXPECT_EQ(exit.Status, 0u);
    EXPECT_TRUE(Harness.Recorded());
}

TEST_F(RasLibraryBinding, LibraryBesideTheDialerComesBeforeTheDefaultSearch)
{
    Harness.UseRasLibrary(TRasLibrary::WithoutDial);
    Harness.Environment().emplace_back("LD_LIBRARY_PATH", DoublesDir().string());
    ExpectBindingFailure(u"外部例外 C06D007F");
}

#endif

// A hardware fault inside RasDialW. Windows: no dialog, a logged external exception and 9999.
// POSIX: a signal death (nothing can be logged safely from a signal handler), never a status
// that reads as a dial result.
struct TFaultCase {
    const char* Name;
    const char* Fault;
    const char16_t* Logged;
    int Signal;
};

void PrintTo(const TFaultCase& c, std::ostream* os)
{
    *os << c.Name;
}

class RasLibraryFault : public RasLibraryBinding, public ::testing::WithParamInterface<TFaultCase> {};

TEST_P(RasLibraryFault, EndsTheDialerWithoutADialResult)
{
    Harness.Environment().emplace_back(RasDialRecording::FaultVariable, GetParam().Fault);
    // A sanitizer build would report the fault itself and exit with 1; the process is to meet it
    // as a shipped one does.
    const char* asanOptions = std::getenv("ASAN_OPTIONS");
    Harness.Environment().emplace_back("ASAN_OPTIONS",
                                       std::string(asanOptions != nullptr ? asanOptions : "") + ":handle_segv=0");

    const TestSupport::TChildExit exit = Harness.RunWithItems(FiveItems);

    EXPECT_TRUE(Harness.Recorded());
    EXPECT_EQ(exit.Output, "");
#ifdef _WIN32
    EXPECT_EQ(exit.Status, 9999u);
    const std::vector<TLoggedMessage> logged = Harness.Logged();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(TestSupport::U8(logged[0].Message), TestSupport::U8(AsLogged(GetParam().Logged)));
    EXPECT_EQ(logged[0].Digest, TCorvaneUtil::GetHashMD5String(GetParam().Logged));
#else
    EXPECT_EQ(exit.Status, 128u + static_cast<unsigned>(GetParam().Signal));
    EXPECT_TRUE(Harness.Logged().empty());
#endif
}

#ifdef _WIN32
// The fault report needs the heap; with every heap locked by another thread it blocks for good,
// and the dialer must still end with 9999 rather than hang. The test ends a dialer that hangs
// itself, after far longer than the report's bound, and then fails on the status.
TEST_F(RasLibraryBinding, FaultWhileAnotherThreadHoldsTheHeapsStillEndsWith9999)
{
    Harness.Environment().emplace_back(RasDialRecording::FaultVariable, "access-violation-heaps-locked");
    TBackgroundDial dial(Harness, {MakeBlock(FiveItems)}, THold::PassThrough);

    ASSERT_TRUE(dial.WaitUntilHeld(60)) << "the dial never reached the double";
    const std::optional<TestSupport::TChildExit> exit = dial.Finish(60);

    ASSERT_TRUE(exit) << "the dialer hung after the fault and had to be ended";
    EXPECT_EQ(exit->Status, 9999u);
    EXPECT_EQ(exit->Output, "");
    EXPECT_TRUE(Harness.Recorded());
}
#endif

INSTANTIATE_TEST_SUITE_P(
    Faults, RasLibraryFault,
    ::testing::Values(TFaultCase{"AccessViolation", "access-violation", u"外部例外 C0000005", SIGSEGV},
                      TFaultCase{"IllegalInstruction", "illegal-instruction", u"外部例外 C000001D", SIGILL}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
