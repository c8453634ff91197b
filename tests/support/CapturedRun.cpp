#include "support/CapturedRun.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "support/TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
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

// Quotes one argument the way CommandLineToArgvW reads it back.
std::wstring QuoteArgument(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
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

std::wstring EnvironmentBlock(const TEnvironmentOverrides& env)
{
    std::vector<std::wstring> entries;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* p = block; *p != 0; p += wcslen(p) + 1)
        entries.emplace_back(p);
    FreeEnvironmentStringsW(block);
    for (const auto& [name, value] : env) {
        const std::wstring prefix = Wide(name) + L"=";
        std::erase_if(entries, [&](const std::wstring& e) { return _wcsnicmp(e.c_str(), prefix.c_str(), prefix.size()) == 0; });
        entries.push_back(prefix + Wide(value));
    }
    std::wstring result;
    for (const auto& e : entries)
        result += e + L'\0';
    result += L'\0';
    return result;
}

HANDLE InheritableFile(const std::filesystem::path& path, bool write)
{
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};
    HANDLE h = CreateFileW(path.wstring().c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ, &attributes,
                           write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot open " + path.string());
    return h;
}

int Spawn(const std::filesystem::path& program, const std::vector<std::string>& args, const TEnvironmentOverrides& env,
          const std::filesystem::path& in, const std::filesystem::path& out, const std::filesystem::path& err)
{
    std::wstring commandLine = QuoteArgument(program.wstring());
    for (const auto& arg : args)
        commandLine += L" " + QuoteArgument(Wide(arg));
    std::wstring environment = EnvironmentBlock(env);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = InheritableFile(in, false);
    startup.hStdOutput = InheritableFile(out, true);
    startup.hStdError = InheritableFile(err, true);
    PROCESS_INFORMATION process{};
    const BOOL created = CreateProcessW(program.wstring().c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, environment.data(), nullptr,
                                        &startup, &process);
    CloseHandle(startup.hStdInput);
    CloseHandle(startup.hStdOutput);
    CloseHandle(startup.hStdError);
    if (!created)
        throw std::runtime_error("cannot start " + program.string());
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}

#else

int Spawn(const std::filesystem::path& program, const std::vector<std::string>& args, const TEnvironmentOverrides& env,
          const std::filesystem::path& in, const std::filesystem::path& out, const std::filesystem::path& err)
{
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e)
        environment.emplace_back(*e);
    for (const auto& [name, value] : env) {
        std::erase_if(environment, [&](const std::string& e) { return e.starts_with(name + "="); });
        environment.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (auto& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    std::vector<std::string> argStrings{program.string()};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + program.string());
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

#endif

}  // namespace

TCapturedRun RunCaptured(const std::filesystem::path& program, const std::vector<std::string>& args,
                         std::string_view input, const TEnvironmentOverrides& env)
{
    TTempDir io;
    WriteFileBytes(io / "in", input);
    TCapturedRun run;
    run.ExitCode = Spawn(program, args, env, io / "in", io / "out", io / "err");
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
