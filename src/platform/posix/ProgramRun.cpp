#include "platform/ProgramRun.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#include <sys/syscall.h>
#endif

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "core/Exceptions.h"
#include "core/ScopeExit.h"
#include "core/SecureZero.h"
#include "core/Text.h"
#include "platform/ProgramSignals.h"

extern char** environ;

const std::u16string_view ProgramExtension = u"";

namespace {

#ifdef __linux__
// The program is started with no exit signal (see StartChild): waiting for it needs __WALL.
constexpr int WaitAll = __WALL;
#else
constexpr int WaitAll = 0;
#endif

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

// Signals whose "ignore" a caller may have set for itself and the program must not inherit (an
// ignored signal survives exec): a host that ignores SIGCHLD would make the program's own waits
// fail, one that ignores SIGXFSZ or SIGPIPE would turn its failures into other ones, and SIGHUP is
// the program's parent-death signal.
constexpr int DefaultedSignals[] = {SIGHUP, SIGPIPE, SIGCHLD, SIGXFSZ};

// The program is not the caller's child but the child of a keeper: a copy of the caller that
// starts the program, waits for it and writes its end into a pipe, and never execs. On Linux the
// keeper has no exit signal (an exec would give it SIGCHLD back), so a caller that ignores SIGCHLD
// does not have it reaped away and a caller whose SIGCHLD handler reaps with waitpid(-1) does not
// take it; and since its report goes through the pipe, not even a caller that reaps every kind of
// child takes the program's status. The keeper also ends the program's group when the thread that
// started it ends, however that ends (its parent-death signal).
//
// Both children are copies of a process whose other threads may hold locks: between their start
// and exec they make async-signal-safe calls only, on what the caller prepared.
struct TChildPlan {
    const char* Path = nullptr;
    char* const* Argv = nullptr;
    int NullInput = -1;  // the null device, opened by the caller
    pid_t Caller = 0;
    int Report = -1;  // the pipe's end where the keeper writes
};

// What the keeper writes: the program's start, a failed step of its start, and its end.
struct TReport {
    enum TTag : int { Started = 1, NotStarted, Ended } Tag;
    int First;   // Started: the program's id; NotStarted: the step; Ended: the wait status
    int Second;  // NotStarted: the errno
};
enum TStep : int { StepClone, StepSetpgid, StepPrctl, StepDup2, StepExecve };

// The program's group, for the keeper's parent-death handler (in the keeper's own memory).
volatile sig_atomic_t KeptGroup = 0;

extern "C" void EndKeptGroup(int)
{
    if (KeptGroup > 0)
        kill(-static_cast<pid_t>(KeptGroup), SIGKILL);
    _exit(127);
}

void Write(int descriptor, const TReport& report) noexcept
{
    ssize_t written;
    do
        written = write(descriptor, &report, sizeof report);
    while (written < 0 && errno == EINTR);
}

// A copy of the calling process without an exit signal on Linux (fork elsewhere).
pid_t CloneWithoutExitSignal() noexcept
{
#ifdef __linux__
    return static_cast<pid_t>(syscall(SYS_clone, 0UL, nullptr, nullptr, nullptr, nullptr));
#else
    return fork();
#endif
}

pid_t CloneWithSigchld() noexcept
{
#ifdef __linux__
    return static_cast<pid_t>(
        syscall(SYS_clone, static_cast<unsigned long>(SIGCHLD), nullptr, nullptr, nullptr, nullptr));
#else
    return fork();
#endif
}

void SetDefault(int signalNumber) noexcept
{
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
}

[[noreturn]] void RunProgramChild(const TChildPlan& plan, int failures, pid_t keeper) noexcept
{
    const auto fail = [failures](TStep step) {
        Write(failures, {TReport::NotStarted, step, errno});
        _exit(127);
    };
    SetDefault(SIGHUP);  // the keeper's handler, for the keeper's memory
    // A group of its own (its id is the program's), which everything it starts joins.
    if (setpgid(0, 0) != 0)
        fail(StepSetpgid);
#ifdef __linux__
    // Should the keeper go, the dialer ends its group (platform/ProgramSignals.h); another
    // program just ends.
    if (prctl(PR_SET_PDEATHSIG, ParentDeathSignal) != 0)
        fail(StepPrctl);
    if (getppid() != keeper)
        _exit(127);
#else
    (void)keeper;
#endif
    if (dup2(plan.NullInput, 0) < 0 || dup2(2, 1) < 0)
        fail(StepDup2);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execve(plan.Path, plan.Argv, environ);
    fail(StepExecve);
    _exit(127);
}

[[noreturn]] void RunKeeper(const TChildPlan& plan) noexcept
{
    // Every handler of the caller goes before any signal is let through, since it would run the
    // caller's code in this copy; the keeper waits with every signal blocked but its parent-death
    // signal. The caller's ignored signals that the program must not inherit are reset here too.
    for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) {
        struct sigaction current {};
        if (sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler != SIG_DFL &&
            current.sa_handler != SIG_IGN)
            SetDefault(signalNumber);
    }
    for (int signalNumber : DefaultedSignals)
        SetDefault(signalNumber);
    struct sigaction parentGone {};
    parentGone.sa_handler = &EndKeptGroup;
    sigfillset(&parentGone.sa_mask);
    sigaction(SIGHUP, &parentGone, nullptr);
#ifdef __linux__
    if (prctl(PR_SET_PDEATHSIG, SIGHUP) != 0) {
        Write(plan.Report, {TReport::NotStarted, StepPrctl, errno});
        _exit(127);
    }
    // A caller that went before the line above sent nothing: the program does not start then.
    if (getppid() != plan.Caller)
        _exit(127);
#endif

    int failurePipe[2];
    if (pipe2(failurePipe, O_CLOEXEC) != 0) {
        Write(plan.Report, {TReport::NotStarted, StepClone, errno});
        _exit(127);
    }
    const pid_t keeper = getpid();
    const pid_t program = CloneWithSigchld();
    if (program == 0) {
        close(failurePipe[0]);
        RunProgramChild(plan, failurePipe[1], keeper);
    }
    const int cloneError = errno;
    close(failurePipe[1]);
    if (program < 0) {
        Write(plan.Report, {TReport::NotStarted, StepClone, cloneError});
        _exit(127);
    }
    // Set from both sides, so that the group exists whichever runs first.
    setpgid(program, program);
    TReport failure{};
    ssize_t got;
    do
        got = read(failurePipe[0], &failure, sizeof failure);
    while (got < 0 && errno == EINTR);
    int status = 0;
    if (got == static_cast<ssize_t>(sizeof failure)) {
        while (waitpid(program, &status, 0) < 0 && errno == EINTR) {
        }
        Write(plan.Report, failure);
        _exit(127);
    }
    KeptGroup = program;
    Write(plan.Report, {TReport::Started, program, 0});

    sigset_t onlyParentGone;
    sigfillset(&onlyParentGone);
    sigdelset(&onlyParentGone, SIGHUP);
    sigprocmask(SIG_SETMASK, &onlyParentGone, nullptr);
    // Looked at before it is reaped: while it is a zombie its id names its group and nothing else.
    siginfo_t info{};
    while (waitid(P_PID, static_cast<id_t>(program), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
    // A program that died of a signal (a crash in the RAS library) leaves nothing behind: what it
    // started may hold its secrets. One that ended by itself leaves what it started alone (a VPN
    // client its connect command started may be the connection).
    if (info.si_code == CLD_KILLED || info.si_code == CLD_DUMPED)
        kill(-program, SIGKILL);
    while (waitpid(program, &status, 0) < 0 && errno == EINTR) {
    }
    Write(plan.Report, {TReport::Ended, status, 0});
    _exit(0);
}

class TFileDescriptor {
public:
    explicit TFileDescriptor(int descriptor = -1) noexcept : FDescriptor(descriptor) {}
    ~TFileDescriptor() { Close(); }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    int Get() const noexcept { return FDescriptor; }
    void Close() noexcept
    {
        if (FDescriptor >= 0)
            close(FDescriptor);
        FDescriptor = -1;
    }

private:
    int FDescriptor;
};

const char16_t* StepName(int step)
{
    switch (step) {
        case StepClone:
            return u"clone";
        case StepSetpgid:
            return u"setpgid";
        case StepPrctl:
            return u"prctl";
        case StepDup2:
            return u"dup2";
        default:
            return u"execve";
    }
}

// The keeper's next report, waiting at most the milliseconds given (-1: for as long as it takes).
// Nothing when none came in that time; a report tagged 0 when the keeper went without one.
std::optional<TReport> NextReport(int descriptor, int milliseconds)
{
    pollfd ready{descriptor, POLLIN, 0};
    const int polled = poll(&ready, 1, milliseconds);
    if (polled == 0 || (polled < 0 && errno == EINTR))
        return std::nullopt;
    TReport report{};
    ssize_t got;
    do
        got = read(descriptor, &report, sizeof report);
    while (got < 0 && errno == EINTR);
    if (got != static_cast<ssize_t>(sizeof report))
        return TReport{static_cast<TReport::TTag>(0), 0, 0};
    return report;
}

// The program and its keeper, once started.
struct TStarted {
    pid_t Keeper = 0;
    pid_t Program = 0;
};

void Reap(pid_t keeper)
{
    int status = 0;
    while (waitpid(keeper, &status, WaitAll) < 0 && errno == EINTR) {
    }
}

// Starts the keeper, which starts the program; raises EOSError when the program cannot be started.
TStarted Spawn(const std::u16string& program, char* const* argv, int reportRead, TFileDescriptor& reportWrite)
{
    const TFileDescriptor nullInput(open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (nullInput.Get() < 0)
        RaiseStartError(program, u"open /dev/null", errno);
    TChildPlan plan;
    plan.Path = argv[0];
    plan.Argv = argv;
    plan.NullInput = nullInput.Get();
    plan.Caller = getpid();
    plan.Report = reportWrite.Get();

    // No signal reaches the keeper before it has dropped the caller's handlers.
    sigset_t all;
    sigfillset(&all);
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    const pid_t keeper = CloneWithoutExitSignal();
    if (keeper == 0)
        RunKeeper(plan);
    const int startError = errno;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (keeper < 0)
        RaiseStartError(program, u"clone", startError);
    // Only the keeper writes now: its end closes the pipe.
    reportWrite.Close();

    const std::optional<TReport> first = NextReport(reportRead, -1);
    if (first && first->Tag == TReport::Started)
        return {keeper, static_cast<pid_t>(first->First)};
    Reap(keeper);
    if (first && first->Tag == TReport::NotStarted)
        RaiseStartError(program, StepName(first->First), first->Second);
    RaiseStartError(program, u"clone", ECHILD);
}

// Whether a process of the group still runs (a zombie no longer runs: it holds nothing).
bool GroupRuns(pid_t group)
{
#ifdef __linux__
    DIR* proc = opendir("/proc");
    if (proc == nullptr)
        return kill(-group, 0) == 0;
    const TScopeExit closeProc([proc] { closedir(proc); });
    while (const dirent* entry = readdir(proc)) {
        char* end = nullptr;
        const long id = std::strtol(entry->d_name, &end, 10);
        if (id <= 0 || *end != '\0')
            continue;
        char path[64];
        std::snprintf(path, sizeof path, "/proc/%ld/stat", id);
        std::FILE* file = std::fopen(path, "re");
        if (file == nullptr)
            continue;
        char stat[512];
        const std::size_t length = std::fread(stat, 1, sizeof stat - 1, file);
        std::fclose(file);
        stat[length] = '\0';
        // After the command's name, which may hold anything: state, parent, group.
        const char* close = std::strrchr(stat, ')');
        char state = 0;
        long parent = 0;
        long itsGroup = 0;
        if (close != nullptr && std::sscanf(close + 1, " %c %ld %ld", &state, &parent, &itsGroup) == 3 &&
            itsGroup == group && state != 'Z' && state != 'X')
            return true;
    }
    return false;
#else
    return kill(-group, 0) == 0;
#endif
}

// Waits until no process of the group runs, so that none of them is left when RunProgram returns.
// A killed process ends within moments; the bound only keeps a system that never lets one end from
// holding the caller for ever.
void AwaitGroupEnd(pid_t group)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (GroupRuns(group) && std::chrono::steady_clock::now() < until) {
        kill(-group, SIGKILL);
        const timespec pause{0, 5'000'000};
        nanosleep(&pause, nullptr);
    }
}

// What the keeper's report of the end says.
TProgramEnd EndOf(const std::optional<TReport>& report)
{
    if (!report || report->Tag != TReport::Ended)
        return {TProgramEnd::TKind::Lost, 0};
    return EndOf(report->First);
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

    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        RaiseStartError(program, u"pipe2", errno);
    const TFileDescriptor reports(pipeEnds[0]);
    TFileDescriptor reportWrite(pipeEnds[1]);
    const TStarted started = Spawn(program, argv.data(), reports.Get(), reportWrite);
    std::optional<TSignalForwarding> forwarding;
    if (options.ForwardSignals)
        forwarding.emplace(started.Program);

    // The keeper reports the end through the pipe: no handler of the caller's SIGCHLD is
    // disturbed, and no other waiter can take it.
    const auto deadline = std::chrono::steady_clock::now() + options.Timeout;
    std::optional<TReport> end;
    bool timedOut = false;
    while (!end) {
        end = NextReport(reports.Get(), 20);
        if (!end && (std::chrono::steady_clock::now() >= deadline || (stopNow && stopNow()))) {
            // The program still runs as far as the keeper has said: its group is its id's.
            kill(-started.Program, SIGKILL);
            end = NextReport(reports.Get(), -1);
            timedOut = true;
        }
    }
    Reap(started.Keeper);
    const TProgramEnd programEnd = EndOf(end);
    if (timedOut || programEnd.Kind == TProgramEnd::TKind::Signalled) {
        // The keeper killed the group of a program that died of a signal; whatever of it had not
        // ended yet ends before this returns.
        AwaitGroupEnd(started.Program);
    }
    if (timedOut)
        return {TProgramEnd::TKind::TimedOut, 0};
    return programEnd;
}
