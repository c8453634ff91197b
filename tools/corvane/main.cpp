// corvane: the command-line tool for launching programs and support staff.
// The fuzz build's weakened key derivation never reaches a program (cmake/FuzzBuildMode.cmake).
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
#error "FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION weakens the key derivation: no program is built with it"
#endif

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "core/Exceptions.h"
#include "core/Text.h"
#include "platform/Console.h"
#include "platform/ProgramSignals.h"
#include "tools/corvane/Commands.h"

namespace {

using TCommand = int (*)(TCommandArgs&);

const std::map<std::string, TCommand>& Commands()
{
    static const std::map<std::string, TCommand> commands = {
        {"make-params", &MakeParamsCommand},
        {"read-params", &ReadParamsCommand},
        {"read-log", &ReadLogCommand},
        {"encrypt", &EncryptCommand},
        {"decrypt", &DecryptCommand},
        {"encrypt-file", &EncryptFileCommand},
        {"decrypt-file", &DecryptFileCommand},
        {"sha256", &Sha256Command},
        {"md5", &Md5Command},
        {"fingerprint", &FingerprintCommand},
        {"explain", &ExplainCommand},
        {"dial", &DialCommand},
    };
    return commands;
}

int Run(std::vector<std::u16string> args)
{
    SetBinaryMode(stdin);
    SetBinaryMode(stdout);
    try {
        if (args.empty())
            throw EUsageError{"no command given (see corvane --help)"};
        const std::string name = ToUtf8Lossy(args.front());
        args.erase(args.begin());
        if (name == "--help" || name == "-h" || name == "help") {
            WriteOutUtf8(HelpText(""));
            return 0;
        }
        const auto command = Commands().find(name);
        if (command == Commands().end())
            throw EUsageError{"unknown command \"" + name + "\" (see corvane --help)"};
        for (const std::u16string& arg : args) {
            if (arg == u"--")
                break;
            if (arg == u"--help" || arg == u"-h") {
                WriteOutUtf8(HelpText(name));
                return 0;
            }
        }
        TCommandArgs commandArgs(name, std::move(args));
        const int exitCode = command->second(commandArgs);
        if (std::fflush(stdout) != 0)
            throw EToolFailure{"cannot write standard output"};
        return exitCode;
    } catch (const EUsageError& e) {
        WriteError(e.Message());
        return 2;
    } catch (const EToolFailure& e) {
        WriteError(e.Message());
        return 1;
    } catch (const std::exception& e) {
        WriteError(e.what());
        return 1;
    }
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv)
{
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    return Run(std::move(args));
}
#else
int main(int argc, char** argv)
{
    // A file it writes past a file-size limit is a failure it reports, not a death by SIGXFSZ.
    IgnoreFileSizeLimitSignal();
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(FromUtf8Lossy(argv[i]));
    return Run(std::move(args));
}
#endif
