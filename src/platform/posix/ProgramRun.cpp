#include "platform/ProgramRun.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "core/Exceptions.h"
#include "core/Text.h"
#include "platform/ScopeExit.h"

extern char** environ;

const std::u16string_view ProgramExtension = u"";

namespace {

TProgramEnd EndOf(int status)
{
    if (WIFSIGNALED(status))
        return {TProgramEnd::TKind::Signalled, static_cast<std::uint32_t>(WTERMSIG(status))};
    return {TProgramEnd::TKind::Exited, static_cast<std::uint32_t>(WEXITSTATUS(status))};
}

}  // namespace

TProgramEnd RunProgram(const std::u16string& program, const std::vector<std::u16string>& args,
                       std::uint32_t timeoutSeconds)
{
    std::vector<std::string> argStrings{ToUtf8Lossy(program)};
    for (const std::u16string& arg : args)
        argStrings.push_back(ToUtf8Lossy(arg));
    std::vector<char*> argv;
    for (std::string& arg : argStrings)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const TScopeExit destroyActions([&] { posix_spawn_file_actions_destroy(&actions); });
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 2, 1);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    if (spawned != 0)
        throw EOSError(u"cannot start " + program + u": " + FromUtf8Lossy(std::strerror(spawned)),
                       static_cast<std::uint32_t>(spawned));

    // Polled rather than signalled: no handler of the caller's SIGCHLD is disturbed.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    for (;;) {
        int status = 0;
        const pid_t ended = waitpid(pid, &status, WNOHANG);
        if (ended == pid)
            return EndOf(status);
        if (ended < 0 && errno != EINTR)
            throw EOSError(u"lost the program " + program + u": " + FromUtf8Lossy(std::strerror(errno)),
                           static_cast<std::uint32_t>(errno));
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        const timespec pause{0, 20'000'000};
        nanosleep(&pause, nullptr);
    }
    kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return {TProgramEnd::TKind::TimedOut, 0};
}
