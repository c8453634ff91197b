// A Windows launching program for scripts: starts a program with arguments, as the launching
// programs of the dialer do (CreateProcessW), and prints the exit status it receives, all 32 bits
// of it, which the `wine` command would cut to 8. Prints what the program wrote, then
// "exit status: N", and exits with 0; or prints why and exits with 1 when the program cannot be
// started.
//
//   corvane_launch_child.exe PROGRAM [ARGUMENT...]

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TestSupport.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fputs("usage: corvane_launch_child PROGRAM [ARGUMENT...]\n", stderr);
        return 2;
    }
    const auto utf8 = [](const wchar_t* text) {
        const std::wstring wide(text);
        return TestSupport::U8(std::u16string(wide.begin(), wide.end()));
    };
    std::vector<std::string> args;
    for (int i = 2; i < argc; ++i)
        args.push_back(utf8(argv[i]));
    try {
        const TestSupport::TChildExit exit = TestSupport::RunChild(std::filesystem::path(argv[1]), args);
        std::fputs(exit.Output.c_str(), stdout);
        std::printf("exit status: %u\n", static_cast<unsigned>(exit.Status));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "corvane_launch_child: %s\n", e.what());
        return 1;
    }
}
