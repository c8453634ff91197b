// Writes numbered records to the error log, for the test that runs two of these at once:
//   ConcurrentLogWriter <writer name> <count>
// Each message is "<writer name> <number>" followed by filler, so records rotate often.

#include <cstdlib>
#include <string>

#include "CorvaneUtil.h"

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const std::string writer = argv[1];
    const int count = std::atoi(argv[2]);
    const std::u16string filler(120, u'.');
    for (int i = 0; i < count; ++i) {
        const std::string head = writer + " " + std::to_string(i) + " ";
        TCorvaneUtil::WriteErrorLog(std::u16string(head.begin(), head.end()) + filler, true);
    }
    return 0;
}
