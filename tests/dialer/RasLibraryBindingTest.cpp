// Where the dialer takes RasDialW from, and what it does when it cannot.

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "CorvaneUtil.h"
#include "dialer/DialerHarness.h"
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

}  // namespace
