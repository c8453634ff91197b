// Two processes writing one error log at once, across many rotations. A writer that finds the log
// held tries again for about 200 ms, so no record should be dropped; one may be only when the other
// held the log through every attempt, and its writer then says so. Every record in .log and .old
// must be whole: framed, decrypting under the log's key, its digest matching, written once.

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "CorvaneUtil/CorvaneUtil.h"
#include "LogRecordParser.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

constexpr int RecordsPerWriter = 1000;
const std::u16string Filler(120, u'.');

struct TWriterRecords {
    std::set<int> Numbers;
};

// The numbers a writer reported as dropped because the log stayed held ("held <number>" lines).
std::set<int> HeldNumbers(const std::string& output)
{
    std::set<int> numbers;
    std::size_t at = 0;
    while ((at = output.find("held ", at)) != std::string::npos) {
        numbers.insert(std::stoi(output.substr(at + 5)));
        at += 5;
    }
    return numbers;
}

TEST(ConcurrentLog, TwoWritersLeaveOnlyWholeRecords)
{
#ifdef _WIN32
    GTEST_SKIP() << "runs the writer as a native child process";
#endif
    TestSupport::TTempDir programData;
    const fs::path logDir = programData.Path() / "Orvex" / "Common" / "ErrorLog";
    fs::create_directories(logDir);
    const fs::path writer = TestSupport::ProgramDir() / "ConcurrentLogWriter";
    const TestSupport::TEnvironmentChanges environment{{"PROGRAMDATA", programData.Path().string()}};

    std::vector<TestSupport::TChildExit> exits(2);
    {
        std::jthread first([&] {
            exits[0] = TestSupport::RunChild(writer, {"A", std::to_string(RecordsPerWriter)}, environment);
        });
        std::jthread second([&] {
            exits[1] = TestSupport::RunChild(writer, {"B", std::to_string(RecordsPerWriter)}, environment);
        });
    }
    ASSERT_EQ(exits[0].Status, 0u) << exits[0].Output;
    ASSERT_EQ(exits[1].Status, 0u) << exits[1].Output;
    const std::map<std::string, std::set<int>> held{{"A", HeldNumbers(exits[0].Output)},
                                                    {"B", HeldNumbers(exits[1].Output)}};
    ASSERT_TRUE(fs::exists(logDir / "ConcurrentLogWriter.old")) << "the writers never rotated the log";

    std::map<std::string, TWriterRecords> seen;
    std::size_t records = 0;
    for (const char* name : {"ConcurrentLogWriter.old", "ConcurrentLogWriter.log"}) {
        const TBytes bytes = TestSupport::ReadFileBytes(logDir / name);
        const auto parsed =
            ParseLogRecords(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        for (const TLogRecord& record : parsed) {
            SCOPED_TRACE(std::string(name) + " record " + std::to_string(records));
            ASSERT_FALSE(record.Truncated);
            TSecureText text;
            ASSERT_TRUE(
                TCorvaneUtil::Decrypt(TestSupport::U16(record.Body), std::u16string(TCorvaneUtil::ErrorLogKey), text));
            ASSERT_GT(text.size(), 32u);
            const std::u16string message(text.View().substr(32));
            ASSERT_EQ(text.substr(0, 32), TCorvaneUtil::GetHashMD5String(message));
            ASSERT_GT(message.size(), Filler.size());
            ASSERT_EQ(message.substr(message.size() - Filler.size()), Filler);
            const std::string head = TestSupport::U8(message.substr(0, message.size() - Filler.size()));
            const std::size_t blank = head.find(' ');
            ASSERT_NE(blank, std::string::npos);
            const std::string writerName = head.substr(0, blank);
            ASSERT_TRUE(writerName == "A" || writerName == "B") << head;
            const int number = std::stoi(head.substr(blank + 1));
            ASSERT_TRUE(seen[writerName].Numbers.insert(number).second) << "written twice: " << head;
            ++records;
        }
    }

    // Rotation discards whole older files; within what is kept, a missing number is a dropped
    // record, and only one that its writer reported held may be missing.
    for (const auto& [writerName, writerRecords] : seen) {
        const int first = *writerRecords.Numbers.begin();
        const int last = *writerRecords.Numbers.rbegin();
        int dropped = 0;
        for (int number = first; number <= last; ++number) {
            if (writerRecords.Numbers.count(number) != 0)
                continue;
            ++dropped;
            EXPECT_EQ(held.at(writerName).count(number), 1u)
                << "record " << writerName << " " << number << " lost while the log was not held past the wait";
        }
        std::cout << "[ LOG      ] writer " << writerName << ": records " << first << " to " << last << " kept, "
                  << dropped << " of them dropped after the log stayed held through every attempt\n";
    }
    EXPECT_GT(records, 0u);
}

}  // namespace
