// Eight threads make and read blocks at once, each in a code page of its own: a code page chosen
// by one caller must not reach another's conversion, and the shared providers must hold.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "launch/LaunchTesting.h"

using namespace LaunchTesting;

namespace {

struct TThreadCase {
    std::uint32_t CodePage;
    std::vector<std::string> Items;
};

const TThreadCase Cases[] = {
    {65001, {"C:\\電話帳\\pb.pbk", "本社 VPN", "山田", "パスワード", "03-1234"}},
    {1252, {"C:\\Bücher\\pb.pbk", "Büro", "José", "naïve", "+49 30"}},
    {932, {"C:\\電話帳\\pb.pbk", "本社", "山田", "ﾊﾟｽﾜｰﾄﾞ", "03-1234"}},
    {65001, {"pb", "entry", "user", "p@ss, word", "phone"}},
};

TEST(LaunchThreadsTest, EightThreadsMakeAndReadInTheirOwnCodePages)
{
    constexpr int Threads = 8;
    constexpr int Rounds = 25;
    std::atomic<int> failures{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&, t] {
            while (!go.load()) {
                std::this_thread::yield();
            }
            const TThreadCase& own = Cases[static_cast<std::size_t>(t) % std::size(Cases)];
            for (int round = 0; round < Rounds; ++round) {
                const TMade made = Make(own.Items, own.CodePage, &MadeAt);
                if (made.Result != CORVANE_OK) {
                    ++failures;
                    continue;
                }
                const TRead read = Read(made.Block, own.CodePage, &NextMinute);
                if (read.Result != CORVANE_OK || read.Items != own.Items)
                    ++failures;
            }
        });
    }
    go.store(true);
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
