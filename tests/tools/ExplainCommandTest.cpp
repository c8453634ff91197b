// corvane explain: what a dialer exit status means.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TestSupport.h"

using namespace TestSupport;

namespace {

TCapturedRun Corvane(const std::vector<std::string>& args)
{
    return RunCaptured(BuiltProgram("corvane"), args);
}

struct TExplainCase {
    const char* Name;
    std::vector<std::string> Args;  // after "explain --json"
    std::string Source;             // dialer, table (or the system's own text on Windows), unknown
    std::string Meaning;            // part of the meaning, when it is ours
    std::string DialResult;         // with --posix: the dial result read back, or "null"
};

class ExplainTest : public ::testing::TestWithParam<TExplainCase> {};

TEST_P(ExplainTest, GivesTheMeaningAndItsSource)
{
    std::vector<std::string> args{"explain", "--json"};
    args.insert(args.end(), GetParam().Args.begin(), GetParam().Args.end());
    const auto run = Corvane(args);
    EXPECT_EQ(run.ExitCode, GetParam().Source == "unknown" ? 1 : 0) << run.Err;
    EXPECT_EQ(run.Err, "");
    // A Windows installation's Remote Access Service may speak for the codes our table holds.
    const bool systemText = GetParam().Source == "table" && run.Out.find("\"source\": \"system\"") != std::string::npos;
    if (!systemText) {
        EXPECT_NE(run.Out.find("\"source\": \"" + GetParam().Source + "\""), std::string::npos) << run.Out;
        EXPECT_NE(run.Out.find(GetParam().Meaning), std::string::npos) << run.Out;
    }
    if (!GetParam().DialResult.empty()) {
        EXPECT_NE(run.Out.find("\"dialResult\": " + GetParam().DialResult + ","), std::string::npos) << run.Out;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ExplainTest,
    ::testing::Values(
        TExplainCase{"Success", {"0"}, "dialer", "the connection was made", ""},
        TExplainCase{"NoDialResult", {"9999"}, "dialer", "the error log says which", ""},
        TExplainCase{"TextTooLong", {"87"}, "dialer", "longer than 256 characters", ""},
        TExplainCase{"NoSuchEntry", {"623"}, "table", "no entry of that name", ""},
        TExplainCase{"AuthenticationRefused", {"691"}, "table", "authentication refused", ""},
        TExplainCase{"ServerUnreachable", {"800"}, "table", "VPN server cannot be reached", ""},
        TExplainCase{"NameNotResolved", {"868"}, "table", "could not be resolved", ""},
        TExplainCase{"UnknownCode", {"12345"}, "unknown", "unknown", ""},
        TExplainCase{"LargestStatus", {"4294967295"}, "unknown", "unknown", ""},
        TExplainCase{"PosixStatusReadBack", {"--posix", "23"}, "table", "no entry of that name", "623"},
        TExplainCase{"PosixNoDialResult", {"--posix", "121"}, "dialer", "the error log says which", "9999"},
        TExplainCase{"PosixStatusNotReadBack", {"--posix", "125"}, "dialer", "cannot be read back", "null"},
        TExplainCase{"PosixStatusNeverSent", {"--posix", "139"}, "unknown", "never ends with", "null"}),
    [](const ::testing::TestParamInfo<TExplainCase>& info) { return std::string(info.param.Name); });

TEST(ExplainTextTest, PrintsOneLinePerCodeInOrder)
{
    const auto run = Corvane({"explain", "0", "9999"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    ASSERT_EQ(std::count(run.Out.begin(), run.Out.end(), '\n'), 2) << run.Out;
    EXPECT_TRUE(run.Out.starts_with("0: success: the connection was made\n9999: no dial result")) << run.Out;
    const auto posix = Corvane({"explain", "--posix", "91"});
    EXPECT_TRUE(posix.Out.starts_with("91 (dial result 691): ")) << posix.Out;
}

// One unknown code among known ones makes the exit code 1, wherever it stands.
TEST(ExplainTextTest, ExitCodeIsOneWhenAnyCodeIsUnknown)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"explain", "0", "12345"}, {"explain", "12345", "0"}, {"explain", "--posix", "0", "139"}}) {
        const auto run = Corvane(args);
        EXPECT_EQ(run.ExitCode, 1) << args[1] << " " << args[2];
        EXPECT_EQ(std::count(run.Out.begin(), run.Out.end(), '\n'),
                  static_cast<std::ptrdiff_t>(args.size() - 1 - (args[1] == "--posix")))
            << run.Out;
    }
    const auto known = Corvane({"explain", "0", "691", "9999"});
    EXPECT_EQ(known.ExitCode, 0) << known.Out;
}

TEST(ExplainTextTest, RejectsWhatIsNotADecimalStatus)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"explain"},
                                                                                      {"explain", "abc"},
                                                                                      {"explain", "-1"},
                                                                                      {"explain", "4294967296"},
                                                                                      {"explain", "0x270F"},
                                                                                      {"explain", "--posix", "256"}}) {
        const auto run = Corvane(args);
        EXPECT_EQ(run.ExitCode, 2) << args.back();
        EXPECT_EQ(run.Out, "");
        EXPECT_TRUE(run.Err.starts_with("corvane: ")) << run.Err;
    }
}

}  // namespace
