#include "platform/ProgramRun.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>

#include "core/Exceptions.h"
#include "core/ScopeExit.h"
#include "core/SecureZero.h"
#include "core/Text.h"

extern char** environ;

const std::u16string_view ProgramExtension = u"";

namespace {

TProgramEnd EndOf(int status)
{
    if (WIFSIGNALED(status))
        return {TProgramEnd::TKind::Signalled, static_cast<std::uint32_t>(WTERMSIG(status))};
    return {TProgramEnd::TKind::Exited, static_cast<std::uint32_t>(WEXITSTATUS(status))};
}

[[noreturn]] void RaiseStartError(const std::u16string& program, const char16_t* step, int error)
{
    throw EOSError(u"cannot start " + program + u": " + step + u": " + FromUtf8Lossy(std::strerror(error)),
                   static_cast<std::uint32_t>(error));
}

void Check(int result, const std::u16string& program, const char16_t* step)
{
    if (result != 0)
        RaiseStartError(program, step, result);
}

// The group a signal handler must end before the caller goes: 0 while none runs.
std::atomic<pid_t> RunningGroup{0};
static_assert(std::atomic<pid_t>::is_always_lock_free);

constexpr int ForwardedSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void EndGroupAndDie(int signalNumber)
{
    const pid_t group = RunningGroup.load();
    if (group > 0)
        kill(-group, SIGKILL);
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

// While the program runs, a signal that ends the caller ends the program's group first (it no
// longer shares the caller's group, so a Ctrl+C at the terminal would not reach it).
class TSignalForwarding {
public:
    explicit TSignalForwarding(pid_t group)
    {
        RunningGroup.store(group);
        struct sigaction action {};
        action.sa_handler = &EndGroupAndDie;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(ForwardedSignals); ++i) {
            sigaction(ForwardedSignals[i], nullptr, &FPrevious[i]);
            // A signal the caller ignores stays ignored.
            if (FPrevious[i].sa_handler != SIG_IGN)
                sigaction(ForwardedSignals[i], &action, nullptr);
        }
    }
    ~TSignalForwarding()
    {
        for (std::size_t i = 0; i < std::size(ForwardedSignals); ++i)
            sigaction(ForwardedSignals[i], &FPrevious[i], nullptr);
        RunningGroup.store(0);
    }
    TSignalForwarding(const TSignalForwarding&) = delete;
    TSignalForwarding& operator=(const TSignalForwarding&) = delete;

private:
    struct sigaction FPrevious[std::size(ForwardedSignals)]{};
};

// On Linux the caller adopts the orphans of its descendants while the program runs, so it can
// wait for every process of the group it killed: the killed program's own children are then its
// children. The setting is the whole process's, and several threads may run programs at once (the
// launching library's callers): the first run that starts sets it, the last that ends takes it
// back, and a setting the caller had made itself is left alone.
#ifdef __linux__
std::mutex GAdoptionGuard;
int GAdoptionRuns = 0;      // runs under way
bool GAdoptionSet = false;  // whether the first of them set it
#endif

class TOrphanAdoption {
public:
    TOrphanAdoption()
    {
#ifdef __linux__
        const std::lock_guard lock(GAdoptionGuard);
        if (GAdoptionRuns++ == 0) {
            int previous = 0;
            GAdoptionSet =
                prctl(PR_GET_CHILD_SUBREAPER, &previous) == 0 && previous == 0 && prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
        }
#endif
    }
    ~TOrphanAdoption()
    {
#ifdef __linux__
        const std::lock_guard lock(GAdoptionGuard);
        if (--GAdoptionRuns == 0 && GAdoptionSet) {
            prctl(PR_SET_CHILD_SUBREAPER, 0);
            GAdoptionSet = false;
        }
#endif
    }
    TOrphanAdoption(const TOrphanAdoption&) = delete;
    TOrphanAdoption& operator=(const TOrphanAdoption&) = delete;
};

// Kills the group the program leads and waits for the program, then for every other process of
// the group that has become the caller's child, so none is left when this returns.
void EndGroup(pid_t leader)
{
    kill(-leader, SIGKILL);
    int status = 0;
    while (waitpid(leader, &status, 0) < 0 && errno == EINTR) {
    }
    for (;;) {
        const pid_t ended = waitpid(-leader, &status, 0);
        if (ended < 0 && errno != EINTR)
            break;  // ECHILD: none left
    }
}

}  // namespace

TProgramEnd RunProgram(const std::u16string& program, const std::vector<std::u16string>& args,
                       const TRunOptions& options)
{
    const std::function<bool()>& stopNow = options.StopNow;
    std::vector<std::string> argStrings{ToUtf8Lossy(program)};
    // The arguments may carry a parameter block: wiped however the run ends.
    const TScopeExit wipeArguments([&argStrings] {
        for (std::string& arg : argStrings)
            WipeString(arg);
    });
    argStrings.reserve(1 + args.size());
    for (const std::u16string& arg : args)
        argStrings.push_back(ToUtf8Lossy(arg));
    std::vector<char*> argv;
    for (std::string& arg : argStrings)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    Check(posix_spawn_file_actions_init(&actions), program, u"posix_spawn_file_actions_init");
    const TScopeExit destroyActions([&] { posix_spawn_file_actions_destroy(&actions); });
    Check(posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0), program,
          u"posix_spawn_file_actions_addopen");
    Check(posix_spawn_file_actions_adddup2(&actions, 2, 1), program, u"posix_spawn_file_actions_adddup2");

    posix_spawnattr_t attributes;
    Check(posix_spawnattr_init(&attributes), program, u"posix_spawnattr_init");
    const TScopeExit destroyAttributes([&] { posix_spawnattr_destroy(&attributes); });
    // A group of its own (its id is the program's), which everything it starts joins.
    Check(posix_spawnattr_setpgroup(&attributes, 0), program, u"posix_spawnattr_setpgroup");
    Check(posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP), program, u"posix_spawnattr_setflags");

    const TOrphanAdoption adoption;
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    if (spawned != 0)
        RaiseStartError(program, u"posix_spawn", spawned);
    std::optional<TSignalForwarding> forwarding;
    if (options.ForwardSignals)
        forwarding.emplace(pid);

    // Polled rather than signalled: no handler of the caller's SIGCHLD is disturbed.
    const auto deadline = std::chrono::steady_clock::now() + options.Timeout;
    for (;;) {
        int status = 0;
        const pid_t ended = waitpid(pid, &status, WNOHANG);
        if (ended == pid)
            return EndOf(status);
        if (ended < 0 && errno != EINTR) {
            const int error = errno;
            EndGroup(pid);
            throw EOSError(u"lost the program " + program + u": " + FromUtf8Lossy(std::strerror(error)),
                           static_cast<std::uint32_t>(error));
        }
        if (std::chrono::steady_clock::now() >= deadline || (stopNow && stopNow()))
            break;
        const timespec pause{0, 20'000'000};
        nanosleep(&pause, nullptr);
    }
    EndGroup(pid);
    return {TProgramEnd::TKind::TimedOut, 0};
}
