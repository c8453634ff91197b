// Text on standard streams: the choice between a console's UTF-16 and a redirected stream's
// UTF-8 bytes, and what is typed at a console. No console can be attached here, so the console
// side is played by calls put in place for the test; the redirected side is a real file.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/Console.h"
#include "support/TestSupport.h"

using namespace TestSupport;

namespace {

struct TFileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

// What the stand-in console saw and is to answer.
struct TFakeConsole {
    bool Attached = true;
    bool Refuses = false;
    std::u16string Written;
    std::vector<std::u16string> Typed;  // one piece per read
    std::size_t NextPiece = 0;
};

TFakeConsole* fakeConsole = nullptr;

class ConsoleTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FFile.reset(std::tmpfile());
        ASSERT_NE(FFile, nullptr);
        fakeConsole = &FConsole;
    }

    void TearDown() override
    {
        if (FReplaced)
            SetConsoleCallsForTesting(FSystem);
        fakeConsole = nullptr;
    }

    void UseFakeConsole()
    {
        FSystem = SetConsoleCallsForTesting({[](std::FILE*) { return fakeConsole->Attached; },
                                             [](std::FILE*, std::u16string_view text) {
                                                 if (fakeConsole->Refuses)
                                                     return false;
                                                 fakeConsole->Written += text;
                                                 return true;
                                             },
                                             [](std::FILE*, char16_t* buffer, std::size_t size) -> std::int64_t {
                                                 if (fakeConsole->NextPiece == fakeConsole->Typed.size())
                                                     return 0;
                                                 const std::u16string& piece =
                                                     fakeConsole->Typed[fakeConsole->NextPiece++];
                                                 const std::size_t count = std::min(size, piece.size());
                                                 std::copy_n(piece.begin(), count, buffer);
                                                 return static_cast<std::int64_t>(count);
                                             }});
        FReplaced = true;
    }

    std::string FileBytes()
    {
        std::fflush(FFile.get());
        std::rewind(FFile.get());
        std::string bytes;
        for (int c = std::fgetc(FFile.get()); c != EOF; c = std::fgetc(FFile.get()))
            bytes.push_back(static_cast<char>(c));
        return bytes;
    }

    std::unique_ptr<std::FILE, TFileCloser> FFile;
    TFakeConsole FConsole;
    TConsoleCalls FSystem{};
    bool FReplaced = false;
};

TEST_F(ConsoleTextTest, SystemCallsTakeARedirectedStreamForNoConsole)
{
    EXPECT_FALSE(SystemConsoleCalls().IsConsole(FFile.get()));
    EXPECT_EQ(ReadConsoleText(FFile.get()), std::nullopt);
}

TEST_F(ConsoleTextTest, RedirectedStreamGetsTheUtf8Bytes)
{
    WriteStreamText(FFile.get(), "社内VPN: 接続できません\n");
    EXPECT_EQ(FileBytes(), "社内VPN: 接続できません\n");
}

TEST_F(ConsoleTextTest, ConsoleGetsUtf16AfterWhatWasBufferedBefore)
{
    UseFakeConsole();
    std::fputs("before ", FFile.get());
    WriteStreamText(FFile.get(), "社内VPN 😀\n");
    EXPECT_EQ(FConsole.Written, u"社内VPN 😀\n");
    EXPECT_EQ(FileBytes(), "before ");
}

TEST_F(ConsoleTextTest, ConsoleThatRefusesGetsTheBytes)
{
    UseFakeConsole();
    FConsole.Refuses = true;
    WriteStreamText(FFile.get(), "社内\n");
    EXPECT_EQ(FileBytes(), "社内\n");
}

TEST_F(ConsoleTextTest, TypedTextEndsAtCtrlZAndComesAsUtf16LeWithItsMark)
{
    UseFakeConsole();
    FConsole.Typed = {u"C:\\pb.pbk\r\n", u"社内VPN\r\n", u"\x1a\r\n", u"never read\r\n"};
    const auto typed = ReadConsoleText(FFile.get());
    ASSERT_TRUE(typed.has_value());
    const std::u16string expected = u"\uFEFFC:\\pb.pbk\r\n社内VPN\r\n";
    ASSERT_EQ(typed->size(), expected.size() * 2);
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ((*typed)[2 * i] | (*typed)[2 * i + 1] << 8, expected[i]) << i;
    EXPECT_EQ(FConsole.NextPiece, 3u);
}

TEST_F(ConsoleTextTest, TypedTextEndsWithTheConsole)
{
    UseFakeConsole();
    FConsole.Typed = {u"a\r\n"};
    const auto typed = ReadConsoleText(FFile.get());
    ASSERT_TRUE(typed.has_value());
    EXPECT_EQ(*typed, (TSecureBytes{0xFF, 0xFE, 'a', 0, '\r', 0, '\n', 0}));
}

}  // namespace
