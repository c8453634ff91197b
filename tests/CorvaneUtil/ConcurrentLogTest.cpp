// Processes writing one error log at once, across rotations. A writer that finds the log held
// tries again for seconds, so no record should be dropped; one may be only when others held the
// log through the whole wait, and its writer then says so. Every record in .log and .old must be
// whole: framed, decrypting under the log's key, its digest matching, written once. A rotation
// moves only a log that has grown past 65536 bytes, so every old log ever made is larger than that,
// and in a run that rotates once nothing that a writer counted as written is missing.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "CorvaneUtil/CorvaneUtil.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"
#include "tools/corvane/LogRecordParser.h"

namespace fs = std::filesystem;

namespace {

constexpr int RecordsPerWriter = 1000;
const std::u16string Filler(120, u'.');

struct TWriterRecords {
    std::set<int> Numbers;
};

// The numbers a writer reported after a word ("held <number>", "rotated <bytes>").
std::vector<long long> ReportedNumbers(const std::string& output, const std::string& word)
{
    std::vector<long long> numbers;
    const std::string prefix = word + " ";
    std::size_t at = 0;
    while ((at = output.find(prefix, at)) != std::string::npos) {
        if (at == 0 || output[at - 1] == '\n')
            numbers.push_back(std::stoll(output.substr(at + prefix.size())));
        at += prefix.size();
    }
    return numbers;
}

std::set<int> HeldNumbers(const std::string& output)
{
    std::set<int> numbers;
    for (const long long number : ReportedNumbers(output, "held"))
        numbers.insert(static_cast<int>(number));
    return numbers;
}

class ConcurrentLog : public testing::Test {
protected:
    void SetUp() override { fs::create_directories(FLogDir); }

    // Runs one writer per name at once, each writing count records; every one must end well.
    void RunWriters(const std::vector<std::string>& names, int count, bool slow = false)
    {
        const fs::path writer = TestSupport::BuiltProgram("ConcurrentLogWriter");
        const TestSupport::TEnvironmentChanges environment{{"PROGRAMDATA", FProgramData.Path().string()}};
        std::vector<TestSupport::TChildExit> exits(names.size());
        {
            std::vector<std::jthread> threads;
            for (std::size_t i = 0; i < names.size(); ++i)
                threads.emplace_back([&, i] {
                    std::vector<std::string> args{names[i], std::to_string(count)};
                    if (slow)
                        args.push_back("slow");
                    exits[i] = TestSupport::RunChild(writer, args, environment);
                });
        }
        for (std::size_t i = 0; i < names.size(); ++i) {
            ASSERT_EQ(exits[i].Status, 0u) << exits[i].Output;
            FHeld[names[i]] = HeldNumbers(exits[i].Output);
            for (const long long size : ReportedNumbers(exits[i].Output, "rotated"))
                FRotations.push_back(size);
        }
    }

    // Reads every record of .old and .log, checking each is whole and written once.
    void ReadRecords(const std::vector<std::string>& names)
    {
        for (const char* name : {"ConcurrentLogWriter.old", "ConcurrentLogWriter.log"}) {
            if (!fs::exists(FLogDir / name))
                continue;
            const TBytes bytes = TestSupport::ReadFileBytes(FLogDir / name);
            const auto parsed =
                ParseLogRecords(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
            for (const TLogRecord& record : parsed) {
                SCOPED_TRACE(std::string(name) + " record " + std::to_string(FRecordCount));
                ASSERT_FALSE(record.Truncated);
                TSecureText text;
                ASSERT_TRUE(TCorvaneUtil::Decrypt(TestSupport::U16(record.Body),
                                                  std::u16string(TCorvaneUtil::ErrorLogKey), text));
                ASSERT_GT(text.size(), 32u);
                const std::u16string message(text.View().substr(32));
                ASSERT_EQ(text.substr(0, 32), TCorvaneUtil::GetHashMD5String(message));
                ASSERT_GT(message.size(), Filler.size());
                ASSERT_EQ(message.substr(message.size() - Filler.size()), Filler);
                const std::string head = TestSupport::U8(message.substr(0, message.size() - Filler.size()));
                const std::size_t blank = head.find(' ');
                ASSERT_NE(blank, std::string::npos);
                const std::string writerName = head.substr(0, blank);
                ASSERT_NE(std::find(names.begin(), names.end(), writerName), names.end()) << head;
                const int number = std::stoi(head.substr(blank + 1));
                ASSERT_TRUE(FSeen[writerName].Numbers.insert(number).second) << "written twice: " << head;
                ++FRecordCount;
            }
        }
    }

    // Every old log a writer made, measured right after the move.
    void ExpectEveryRotationMovedADueLog() const
    {
        for (const long long size : FRotations)
            EXPECT_GT(size, 65536) << "a rotation moved a log that was not due";
    }

    TestSupport::TTempDir FProgramData;
    fs::path FLogDir = FProgramData.Path() / "Orvex" / "Common" / "ErrorLog";
    std::map<std::string, std::set<int>> FHeld;
    std::vector<long long> FRotations;
    std::map<std::string, TWriterRecords> FSeen;
    std::size_t FRecordCount = 0;
};

TEST_F(ConcurrentLog, TwoWritersLeaveOnlyWholeRecords)
{
    ASSERT_NO_FATAL_FAILURE(RunWriters({"A", "B"}, RecordsPerWriter));
    ASSERT_TRUE(fs::exists(FLogDir / "ConcurrentLogWriter.old")) << "the writers never rotated the log";
    ASSERT_FALSE(FRotations.empty());
    ExpectEveryRotationMovedADueLog();
    ASSERT_NO_FATAL_FAILURE(ReadRecords({"A", "B"}));

    // Rotation discards whole older files; within what is kept, a missing number is a dropped
    // record, and only one that its writer reported held may be missing.
    for (const auto& [writerName, writerRecords] : FSeen) {
        const int first = *writerRecords.Numbers.begin();
        const int last = *writerRecords.Numbers.rbegin();
        int dropped = 0;
        for (int number = first; number <= last; ++number) {
            if (writerRecords.Numbers.count(number) != 0)
                continue;
            ++dropped;
            EXPECT_EQ(FHeld.at(writerName).count(number), 1u)
                << "record " << writerName << " " << number << " lost while the log was not held past the wait";
        }
        std::cout << "[ LOG      ] writer " << writerName << ": records " << first << " to " << last << " kept, "
                  << dropped << " of them dropped after the log stayed held through every attempt\n";
    }
    EXPECT_GT(FRecordCount, 0u);
}

// About 100 KiB of records in all: the log passes the threshold once, and what follows stays far
// below it, so .old and .log together hold everything written.
TEST_F(ConcurrentLog, FourWritersThatRotateOnceKeepEveryRecord)
{
    constexpr int recordsEach = 90;
    const std::vector<std::string> names{"A", "B", "C", "D"};
    ASSERT_NO_FATAL_FAILURE(RunWriters(names, recordsEach));
    ASSERT_EQ(FRotations.size(), 1u) << "the run must rotate exactly once";
    ExpectEveryRotationMovedADueLog();
    ASSERT_NO_FATAL_FAILURE(ReadRecords(names));
    for (const std::string& name : names) {
        for (int number = 0; number < recordsEach; ++number) {
            if (FSeen[name].Numbers.count(number) == 0) {
                EXPECT_EQ(FHeld[name].count(number), 1u) << "record " << name << " " << number << " lost";
            }
        }
    }
}

// Every step of every write slowed by up to 3 ms, as a file-system filter slows them: writers that
// start together queue on the log for far longer than one write takes, and each waits its turn
// rather than dropping its record. About 100 KiB of records in all, so .old and .log hold them all.
struct TSlowWritersCase {
    const char* Name;
    int Writers;
    int RecordsEach;
};

class SlowedConcurrentLog : public ConcurrentLog, public testing::WithParamInterface<TSlowWritersCase> {};

TEST_P(SlowedConcurrentLog, NoRecordIsLost)
{
    std::vector<std::string> names;
    for (int i = 0; i < GetParam().Writers; ++i)
        names.push_back(std::string("W").append(std::to_string(i)));
    ASSERT_NO_FATAL_FAILURE(RunWriters(names, GetParam().RecordsEach, true));
    ASSERT_LE(FRotations.size(), 1u) << "a second rotation would discard records";
    ExpectEveryRotationMovedADueLog();
    ASSERT_NO_FATAL_FAILURE(ReadRecords(names));
    for (const std::string& name : names) {
        EXPECT_TRUE(FHeld[name].empty()) << name << " dropped " << FHeld[name].size() << " records as held";
        for (int number = 0; number < GetParam().RecordsEach; ++number)
            EXPECT_EQ(FSeen[name].Numbers.count(number), 1u) << "record " << name << " " << number << " lost";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SlowedConcurrentLog,
                         testing::Values(TSlowWritersCase{"FourWriters", 4, 100},
                                         TSlowWritersCase{"SixteenWriters", 16, 25}),
                         [](const testing::TestParamInfo<TSlowWritersCase>& info) {
                             return std::string(info.param.Name);
                         });

}  // namespace
