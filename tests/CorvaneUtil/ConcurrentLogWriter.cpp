// Writes numbered records to the error log, for the test that runs two of these at once:
//   ConcurrentLogWriter <writer name> <count>
// Each message is "<writer name> <number>" followed by filler, so records rotate often. It writes
// as the dialer does, with the same waits, but tells what became of each record: a line
// "held <number>" for a record dropped because the other writer held the log through every
// attempt, and exit status 3 when a record failed for any other reason.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "CorvaneUtil/CorvaneUtilTestAccess.h"

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const std::string writer = argv[1];
    const int count = std::atoi(argv[2]);
    const std::u16string filler(120, u'.');
    const auto pause = [](int) { std::this_thread::sleep_for(std::chrono::milliseconds(25)); };
    int status = 0;
    for (int i = 0; i < count; ++i) {
        const std::string head = writer + " " + std::to_string(i) + " ";
        switch (TCorvaneUtilTestAccess::WriteErrorLogRecord(std::u16string(head.begin(), head.end()) + filler, true,
                                                            pause)) {
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
