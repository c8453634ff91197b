#ifdef _WIN32
// First, so that Process.h can take back the name windows.h maps to its own function.
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Process.h"
#include "support/TestSupport.h"

namespace {

using TestSupport::U16;
using TestSupport::U8;

void SetVariable(const char* name, const char* utf8Value)
{
#ifdef _WIN32
    const std::u16string wideName = U16(name);
    const std::u16string wideValue = U16(utf8Value);
    SetEnvironmentVariableW(reinterpret_cast<const wchar_t*>(wideName.c_str()),
                            reinterpret_cast<const wchar_t*>(wideValue.c_str()));
#else
    setenv(name, utf8Value, 1);
#endif
}

void UnsetVariable(const char* name)
{
#ifdef _WIN32
    const std::u16string wideName = U16(name);
    SetEnvironmentVariableW(reinterpret_cast<const wchar_t*>(wideName.c_str()), nullptr);
#else
    unsetenv(name);
#endif
}

TEST(Process, ExecutablePathNamesThisTestProgram)
{
    const std::filesystem::path path(ExecutablePath());
    EXPECT_TRUE(path.is_absolute()) << U8(ExecutablePath());
    EXPECT_EQ(path.parent_path(), TestSupport::ProgramDir());
    EXPECT_EQ(path.stem().string(), "corvane_platform_tests");
    EXPECT_EQ(U8(ParamStr(0)), U8(ExecutablePath()));
}

// gtest keeps the arguments that main received: an oracle outside the platform layer.
TEST(Process, ParamStrGivesTheProgramsArguments)
{
    const std::vector<std::string> argv = testing::internal::GetArgvs();
    for (std::size_t i = 1; i < argv.size(); ++i)
        EXPECT_EQ(U8(ParamStr(static_cast<int>(i))), argv[i]) << "argument " << i;
    EXPECT_EQ(ParamStr(static_cast<int>(argv.size())), u"");
    EXPECT_EQ(ParamStr(-1), u"");
}

TEST(Process, EnvironmentVariableSetEmptyOrAbsent)
{
    SetVariable("CORVANE_PROCESS_TEST", "データ\\Common");
    EXPECT_EQ(U8(GetEnvironmentVariable(u"CORVANE_PROCESS_TEST").value_or(u"<unset>")), "データ\\Common");
    UnsetVariable("CORVANE_PROCESS_TEST");
    EXPECT_FALSE(GetEnvironmentVariable(u"CORVANE_PROCESS_TEST").has_value());
    SetVariable("CORVANE_PROCESS_TEST", "");
    EXPECT_EQ(GetEnvironmentVariable(u"CORVANE_PROCESS_TEST"), std::optional<std::u16string>(u""));
    UnsetVariable("CORVANE_PROCESS_TEST");
}

#ifndef _WIN32
TEST(Process, HandedOverArgumentsAreConvertedLossily)
{
    std::string program = "prog";
    std::string valid = "ブロック";
    std::string broken =
        "a\xff"
        "b";
    char* argv[] = {program.data(), valid.data(), broken.data(), nullptr};
    SetCommandLine(3, argv);
    EXPECT_EQ(U8(ParamStr(1)), "ブロック");
    EXPECT_EQ(ParamStr(2),
              u"a\uFFFD"
              u"b");
    EXPECT_EQ(ParamStr(3), u"");
    EXPECT_EQ(U8(ParamStr(0)), U8(ExecutablePath()));
}
#endif

}  // namespace
