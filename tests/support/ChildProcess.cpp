#include "support/ChildProcess.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "core/ScopeExit.h"
#include "core/UniqueHandle.h"
#include "support/TestSupport.h"

#ifdef _WIN32
#include <windows.h>
// after windows.h
#include <tlhelp32.h>

#include "platform/win32/CommandLine.h"
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
extern char** environ;
#endif

namespace TestSupport {

namespace {

std::string ReadWhole(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

#ifdef _WIN32

std::wstring Wide(std::string_view utf8)
{
    const std::u16string text = U16(utf8);
    return std::wstring(text.begin(), text.end());
}

std::wstring EnvironmentBlock(const TEnvironmentChanges& changes)
{
    std::vector<std::wstring> entries;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* p = block; *p != 0; p += wcslen(p) + 1)
        entries.emplace_back(p);
    FreeEnvironmentStringsW(block);
    for (const auto& [name, value] : changes) {
        const std::wstring prefix = Wide(name) + L"=";
        std::erase_if(entries, [&](const std::wstring& e) {
            return e.size() >= prefix.size() && _wcsnicmp(e.c_str(), prefix.c_str(), prefix.size()) == 0;
        });
        if (value)
            entries.push_back(prefix + Wide(*value));
    }
    std::wstring result;
    for (const std::wstring& e : entries)
        result += e + L'\0';
    result += L'\0';
    return result;
}

using TUniqueHandle = TUniqueAny<HANDLE, &CloseHandle, nullptr>;

TUniqueHandle InheritableFile(const std::filesystem::path& path, bool write)
{
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};
    HANDLE handle =
        CreateFileW(path.wstring().c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &attributes, write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot open " + path.string());
    return TUniqueHandle(handle);
}

std::uint32_t Spawn(const std::filesystem::path& program, const std::vector<std::string>& args,
                    const TEnvironmentChanges& changes, const std::filesystem::path& in,
                    const std::filesystem::path& out, const std::optional<std::filesystem::path>& err)
{
    std::wstring commandLine = QuoteArgument(program.wstring());
    for (const std::string& arg : args)
        commandLine += L" " + QuoteArgument(Wide(arg));
    std::wstring environment = EnvironmentBlock(changes);

    const TUniqueHandle input = InheritableFile(in, false);
    const TUniqueHandle output = InheritableFile(out, true);
    const TUniqueHandle error = err ? InheritableFile(*err, true) : TUniqueHandle();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.Get();
    startup.hStdOutput = output.Get();
    startup.hStdError = err ? error.Get() : output.Get();
    PROCESS_INFORMATION process{};
    // Wine now and then refuses a start under load; nothing has run then, so trying again is safe.
    DWORD startError = 0;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (CreateProcessW(program.wstring().c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                           CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, environment.data(), nullptr, &startup,
                           &process)) {
            startError = 0;
            break;
        }
        startError = GetLastError();
        Sleep(200);
    }
    if (startError != 0)
        throw std::runtime_error("cannot start " + program.string() + " (error " + std::to_string(startError) + ")");
    const TUniqueHandle thread(process.hThread);
    const TUniqueHandle child(process.hProcess);
    WaitForSingleObject(child.Get(), INFINITE);
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(child.Get(), &exitCode))
        throw std::runtime_error("no exit code from " + program.string());
    return exitCode;
}

#else

std::uint32_t Spawn(const std::filesystem::path& program, const std::vector<std::string>& args,
                    const TEnvironmentChanges& changes, const std::filesystem::path& in,
                    const std::filesystem::path& out, const std::optional<std::filesystem::path>& err)
{
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e)
        environment.emplace_back(*e);
    for (const auto& [name, value] : changes) {
        std::erase_if(environment, [&](const std::string& e) { return e.starts_with(name + "="); });
        if (value)
            environment.push_back(name + "=" + *value);
    }
    std::vector<char*> envp;
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    std::vector<std::string> argStrings{program.string()};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    // Every step is checked: a file action that failed to register would leave the child writing
    // into the test's own streams, or reading its input.
    auto check = [&](int result, const char* step) {
        if (result != 0)
            throw std::runtime_error("cannot start " + program.string() + ": " + step + " failed (" +
                                     std::to_string(result) + ")");
    };
    posix_spawn_file_actions_t actions;
    check(posix_spawn_file_actions_init(&actions), "posix_spawn_file_actions_init");
    const TScopeExit destroyActions([&] { posix_spawn_file_actions_destroy(&actions); });
    check(posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0), "posix_spawn_file_actions_addopen");
    check(posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600),
          "posix_spawn_file_actions_addopen");
    if (err)
        check(posix_spawn_file_actions_addopen(&actions, 2, err->c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600),
              "posix_spawn_file_actions_addopen");
    else
        check(posix_spawn_file_actions_adddup2(&actions, 1, 2), "posix_spawn_file_actions_adddup2");
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    if (spawned != 0)
        throw std::runtime_error("cannot start " + program.string());
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            throw std::runtime_error("lost the child " + program.string());
    return WIFEXITED(status) ? static_cast<std::uint32_t>(WEXITSTATUS(status))
                             : 128 + static_cast<std::uint32_t>(WTERMSIG(status));
}

#endif

}  // namespace

TChildExit RunChild(const std::filesystem::path& program, const std::vector<std::string>& args,
                    const TEnvironmentChanges& environment)
{
    TTempDir io;
    WriteFileBytes(io / "in", "");
    TChildExit result;
    result.Status = Spawn(program, args, environment, io / "in", io / "out", std::nullopt);
    result.Output = ReadWhole(io / "out");
    return result;
}

TCapturedRun RunCaptured(const std::filesystem::path& program, const std::vector<std::string>& args,
                         std::string_view input, const TEnvironmentChanges& environment)
{
    TTempDir io;
    WriteFileBytes(io / "in", input);
    TCapturedRun run;
    run.ExitCode = static_cast<int>(Spawn(program, args, environment, io / "in", io / "out", io / "err"));
    run.Out = ReadWhole(io / "out");
    run.Err = ReadWhole(io / "err");
    return run;
}

#ifdef _WIN32

bool ProcessRuns(unsigned long id)
{
    const TUniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id)));
    return process && WaitForSingleObject(process.Get(), 30'000) != WAIT_OBJECT_0;
}

std::optional<unsigned long> ParentOf(unsigned long id)
{
    const TUniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot || snapshot.Get() == INVALID_HANDLE_VALUE || !ProcessRuns(id))
        return std::nullopt;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry))
        if (entry.th32ProcessID == id)
            return entry.th32ParentProcessID;
    return std::nullopt;
}

void KillProcess(unsigned long id)
{
    const TUniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(id)));
    if (process)
        TerminateProcess(process.Get(), 1);
}

unsigned long OwnProcessId()
{
    return GetCurrentProcessId();
}

#else

namespace {

// The fields of /proc/PID/stat after the command's name, which may hold blanks: state first.
std::optional<std::string> StatFieldsAfterName(unsigned long id)
{
    const std::string stat = ReadWhole("/proc/" + std::to_string(id) + "/stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 > stat.size())
        return std::nullopt;
    return stat.substr(close + 2);
}

std::vector<unsigned long> ProcessIds()
{
    std::vector<unsigned long> ids;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos)
            ids.push_back(std::stoul(name));
    }
    return ids;
}

}  // namespace

bool ProcessRuns(unsigned long id)
{
    const auto fields = StatFieldsAfterName(id);
    return fields && !fields->empty() && (*fields)[0] != 'Z' && (*fields)[0] != 'X';
}

std::optional<unsigned long> ProcessGroupOf(unsigned long id)
{
    if (!ProcessRuns(id))
        return std::nullopt;
    // state, parent, group
    std::istringstream fields(*StatFieldsAfterName(id));
    std::string state;
    unsigned long parent = 0;
    unsigned long group = 0;
    if (!(fields >> state >> parent >> group))
        return std::nullopt;
    return group;
}

std::vector<unsigned long> ProcessesOfGroup(unsigned long group)
{
    std::vector<unsigned long> members;
    for (unsigned long id : ProcessIds())
        if (ProcessGroupOf(id) == group)
            members.push_back(id);
    return members;
}

std::optional<unsigned long> ParentOf(unsigned long id)
{
    if (!ProcessRuns(id))
        return std::nullopt;
    std::istringstream fields(*StatFieldsAfterName(id));
    std::string state;
    unsigned long parent = 0;
    if (!(fields >> state >> parent))
        return std::nullopt;
    return parent;
}

void KillProcess(unsigned long id)
{
    kill(static_cast<pid_t>(id), SIGKILL);
}

unsigned long OwnProcessId()
{
    return static_cast<unsigned long>(getpid());
}

std::vector<unsigned long> ProcessesWithCommandLineHolding(std::string_view text)
{
    std::vector<unsigned long> holders;
    for (unsigned long id : ProcessIds()) {
        if (id == static_cast<unsigned long>(getpid()) || !ProcessRuns(id))
            continue;
        if (ReadWhole("/proc/" + std::to_string(id) + "/cmdline").find(text) != std::string::npos)
            holders.push_back(id);
    }
    return holders;
}

std::vector<unsigned long> ZombieChildren()
{
    std::vector<unsigned long> zombies;
    for (unsigned long id : ProcessIds()) {
        const auto fields = StatFieldsAfterName(id);
        std::istringstream in(fields.value_or(""));
        std::string state;
        unsigned long parent = 0;
        if (in >> state >> parent && state == "Z" && parent == static_cast<unsigned long>(getpid()))
            zombies.push_back(id);
    }
    return zombies;
}

std::vector<unsigned long> ProcessesWithEnvironmentEntry(std::string_view entry)
{
    std::vector<unsigned long> holders;
    for (unsigned long id : ProcessIds()) {
        if (id == static_cast<unsigned long>(getpid()) || !ProcessRuns(id))
            continue;
        const std::string environment = ReadWhole("/proc/" + std::to_string(id) + "/environ");
        for (std::size_t start = 0; start < environment.size();) {
            std::size_t end = environment.find('\0', start);
            if (end == std::string::npos)
                end = environment.size();
            if (std::string_view(environment).substr(start, end - start) == entry)
                holders.push_back(id);
            start = end + 1;
        }
    }
    return holders;
}

#endif

std::optional<unsigned long> ChildAbove(unsigned long id)
{
    for (std::optional<unsigned long> at = id; at; at = ParentOf(*at))
        if (ParentOf(*at) == OwnProcessId())
            return at;
    return std::nullopt;
}

bool EventuallyTrue(const std::function<bool()>& condition, int seconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::optional<::testing::AssertionResult> HangingProgramAndCopyEnded(const std::filesystem::path& ids, int seconds)
{
    if (!std::filesystem::exists(ids))
        return std::nullopt;
    const std::vector<unsigned long> started = ProcessIdsInFile(ids);
    if (started.size() != 2)
        return ::testing::AssertionFailure() << "the hanging program wrote " << started.size() << " ids, not 2";
    if (started[1] == 0)
        return ::testing::AssertionFailure() << "the hanging program could not start its copy";
    if (EventuallyTrue([&] { return !ProcessRuns(started[0]) && !ProcessRuns(started[1]); }, seconds))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "still running: the hanging program " << started[0]
                                         << (ProcessRuns(started[0]) ? " (runs)" : " (ended)") << ", its copy "
                                         << started[1] << (ProcessRuns(started[1]) ? " (runs)" : " (ended)");
}

std::filesystem::path BuiltProgram(std::string_view name)
{
#ifdef _WIN32
    return ProgramDir() / (std::string(name) + ".exe");
#else
    return ProgramDir() / std::string(name);
#endif
}

std::vector<unsigned long> ProcessIdsInFile(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::vector<unsigned long> ids;
    for (unsigned long id; in >> id;)
        ids.push_back(id);
    return ids;
}

}  // namespace TestSupport
