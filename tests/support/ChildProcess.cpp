#include "support/ChildProcess.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/UniqueHandle.h"
#include "support/TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
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

// One argument as CommandLineToArgvW and the C runtime read it back.
std::wstring QuoteArgument(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(backslashes * 2, L'\\');
    out.push_back(L'"');
    return out;
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

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (err)
        posix_spawn_file_actions_addopen(&actions, 2, err->c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    else
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
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

std::filesystem::path BuiltProgram(std::string_view name)
{
#ifdef _WIN32
    return ProgramDir() / (std::string(name) + ".exe");
#else
    return ProgramDir() / std::string(name);
#endif
}

}  // namespace TestSupport
