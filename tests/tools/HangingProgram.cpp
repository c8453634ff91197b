// Stands in for a dialer that hangs: it never ends by itself within any test's patience.
//
// With CORVANE_TEST_PID_FILE set it first starts a copy of itself that hangs too, as a dialer's
// RAS library may start a program of its own, and writes "<own id> <copy's id>" to that file
// (whole, through a rename), so a test can see that ending the dialer ended both. With
// CORVANE_TEST_CRASH set as well it then ends as a crash does, SIGSEGV or the access violation's
// exit status, instead of hanging.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <unistd.h>
extern char** environ;
#endif

namespace {

// The copy's process id, or 0 when it cannot be started.
unsigned long StartCopy(const char* self)
{
#ifdef _WIN32
    (void)self;
    wchar_t path[MAX_PATH];
    if (GetModuleFileNameW(nullptr, path, MAX_PATH) == 0)
        return 0;
    std::wstring commandLine = L"\"" + std::wstring(path) + L"\" --copy";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(path, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process))
        return 0;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return process.dwProcessId;
#else
    char copyArg[] = "--copy";
    char* argv[] = {const_cast<char*>(self), copyArg, nullptr};
    pid_t pid = 0;
    return posix_spawn(&pid, self, nullptr, nullptr, argv, environ) == 0 ? static_cast<unsigned long>(pid) : 0;
#endif
}

unsigned long OwnId()
{
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

}  // namespace

int main(int argc, char** argv)
{
    const char* pidFile = std::getenv("CORVANE_TEST_PID_FILE");
    if (pidFile != nullptr && !(argc > 1 && std::string(argv[1]) == "--copy")) {
        const unsigned long copy = StartCopy(argv[0]);
        const std::string partial = std::string(pidFile) + ".partial";
        if (std::FILE* file = std::fopen(partial.c_str(), "w")) {
            std::fprintf(file, "%lu %lu\n", OwnId(), copy);
            std::fclose(file);
            std::error_code ignored;
            std::filesystem::rename(partial, pidFile, ignored);
        }
        if (std::getenv("CORVANE_TEST_CRASH") != nullptr) {
#ifdef _WIN32
            // Without the system's crash handling, which under Wine starts a debugger.
            TerminateProcess(GetCurrentProcess(), 0xC0000005);
#else
            std::raise(SIGSEGV);
#endif
        }
    }
    std::this_thread::sleep_for(std::chrono::minutes(10));
    return 0;
}
