// Writes numbered records to the error log, for the tests that run several of these at once:
//   ConcurrentLogWriter <writer name> <count> [slow]
// Each message is "<writer name> <number>" followed by filler, so records rotate often. It writes
// as the dialer does, with the same waits, but tells what became of each record. With "slow",
// every step of a write on the log (each open, the measuring, the move, the write) takes up to
// 3 ms longer, as it does where a filter of the file system looks at every call. It tells a line
// "held <number>" for a record dropped because another writer held the log through every
// attempt, exit status 3 when a record failed for any other reason, and a line
// "rotated <bytes>" with the size of the old log each time this writer has just made one.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <system_error>
#include <thread>

#include "CorvaneUtil/CorvaneUtilTestAccess.h"

int main(int argc, char** argv)
{
    if (argc != 3 && !(argc == 4 && std::string(argv[3]) == "slow"))
        return 2;
    const bool slow = argc == 4;
    const std::string writer = argv[1];
    const int count = std::atoi(argv[2]);
    const char* programData = std::getenv("PROGRAMDATA");
    if (programData == nullptr)
        return 2;
    const std::filesystem::path oldLog =
        std::filesystem::path(programData) / "Orvex" / "Common" / "ErrorLog" / "ConcurrentLogWriter.old";
    const std::u16string filler(120, u'.');
    std::minstd_rand random(static_cast<std::uint32_t>(std::hash<std::string>{}(writer)));
    const auto slowDown = [&] {
        if (slow)
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 3001));
    };
    // Only a rotation of a later, still small log could take this old log away before it is
    // measured, and none is due so soon.
    const auto step = [&](TCorvaneUtilTestAccess::TLogStep reached) {
        slowDown();
        if (reached != TCorvaneUtilTestAccess::TLogStep::Rotated)
            return;
        std::error_code error;
        const auto size = std::filesystem::file_size(oldLog, error);
        std::printf("rotated %lld\n", error ? -1LL : static_cast<long long>(size));
    };
    int status = 0;
    for (int i = 0; i < count; ++i) {
        const std::string head = writer + " " + std::to_string(i) + " ";
        // The dialer's own wait. Slowed writers get a deadline that no writer reaches unless it is
        // starved: on a test machine loaded with many writer processes (16 Wine processes on two
        // cores), a writer can lose the processor for seconds while it holds the log, and the
        // outcome must not depend on that. The deadline itself is tested on a clock of its own.
        const auto wait = TCorvaneUtilTestAccess::HeldLogWait(
            {[] { return std::chrono::steady_clock::now(); },
             [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); },
             slow ? std::chrono::milliseconds(120000) : TCorvaneUtilTestAccess::HeldLogDeadline});
        switch (TCorvaneUtilTestAccess::WriteErrorLogRecord(std::u16string(head.begin(), head.end()) + filler, true,
                                                            wait, step)) {
            case TCorvaneUtilTestAccess::TLogAppend::Written:
                break;
            case TCorvaneUtilTestAccess::TLogAppend::Held:
                std::printf("held %d\n", i);
                break;
            case TCorvaneUtilTestAccess::TLogAppend::Failed:
                std::printf("failed %d\n", i);
                status = 3;
                break;
        }
    }
    return status;
}
