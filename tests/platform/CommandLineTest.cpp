// Arguments quoted for a child's command line come back unchanged through Windows' own parser.
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "core/UniqueHandle.h"
#include "platform/win32/CommandLine.h"

namespace {

void FreeArgv(LPWSTR* argv)
{
    LocalFree(argv);
}
using TUniqueArgv = TUniqueAny<LPWSTR*, &FreeArgv, nullptr>;

std::vector<std::wstring> ParsedBack(const std::vector<std::wstring>& args)
{
    // Argument 0 is the program, which CommandLineToArgvW reads by rules of its own.
    std::wstring line = L"program.exe";
    for (const std::wstring& arg : args)
        line += L" " + QuoteArgument(arg);
    int count = 0;
    const TUniqueArgv argv(CommandLineToArgvW(line.c_str(), &count));
    if (!argv)
        return {};
    return std::vector<std::wstring>(argv.Get() + 1, argv.Get() + count);
}

TEST(CommandLineTest, QuotedArgumentsParseBackUnchanged)
{
    const std::vector<std::wstring> cases = {
        L"plain",
        L"",
        L"two words",
        L"tab\there",
        L"line\nbreak",
        L"\"",
        L"say \"hi\"",
        L"C:\\pb\\book.pbk",
        L"C:\\folder with space\\",
        L"trailing\\\\",
        L"back\\\"slash-quote",
        L"\\\\\\\"",
        L"\\\\server\\share\\a b",
        L"pa ss \"word\"",
        L"base64+/==",
        L"\u65e5\u672c\u8a9e \u30c6\u30b9\u30c8",
    };
    for (const std::wstring& arg : cases) {
        const std::vector<std::wstring> back = ParsedBack({arg, L"next"});
        ASSERT_EQ(back.size(), 2u) << "argument of " << arg.size() << " characters";
        EXPECT_TRUE(back[0] == arg) << "argument of " << arg.size() << " characters came back changed";
        EXPECT_TRUE(back[1] == L"next");
    }
}

TEST(CommandLineTest, ArgumentsWithoutSpecialCharactersStayAsTheyAre)
{
    EXPECT_TRUE(QuoteArgument(L"plain") == L"plain");
    EXPECT_TRUE(QuoteArgument(L"C:\\pb\\book.pbk") == L"C:\\pb\\book.pbk");
    EXPECT_TRUE(QuoteArgument(L"") == L"\"\"");
}

}  // namespace
