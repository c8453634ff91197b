#include "rasapi/ConnectCommand.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

#include "core/ScopeExit.h"
#include "rasapi/RasErrors.h"

extern char** environ;

namespace {

std::string_view NameOf(std::string_view entry) noexcept
{
    return entry.substr(0, entry.find('='));
}

bool IsReplaced(std::string_view inherited, const std::vector<TSecureChars>& entries) noexcept
{
    for (const TSecureChars& entry : entries)
        if (NameOf(inherited) == NameOf(std::string_view(entry.data())))
            return true;
    return false;
}

// The child's environment: the inherited one without the names we set, then ours.
std::vector<char*> ChildEnvironment(const std::vector<TSecureChars>& entries)
{
    std::vector<char*> environment;
    for (char** variable = environ; variable != nullptr && *variable != nullptr; ++variable)
        if (!IsReplaced(*variable, entries))
            environment.push_back(*variable);
    for (const TSecureChars& entry : entries)
        environment.push_back(const_cast<char*>(entry.data()));
    environment.push_back(nullptr);
    return environment;
}

// Gives the program a clean signal state whatever its caller blocked or ignored (an ignored
// signal survives exec, and the dialer ignores SIGXFSZ).
void SetCleanSignalState(posix_spawnattr_t& attributes)
{
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signalNumber : {SIGPIPE, SIGCHLD, SIGXFSZ})
        sigaddset(&defaults, signalNumber);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}

}  // namespace

TSecureChars MakeEnvironmentEntry(std::string_view name, const TSecureChars& value)
{
    TSecureChars entry(name.begin(), name.end());
    entry.push_back('=');
    entry.insert(entry.end(), value.begin(), value.end());
    entry.push_back('\0');
    return entry;
}

std::uint32_t RunConnectCommand(const std::vector<std::string>& words, const std::vector<TSecureChars>& entries)
{
    if (words.empty())
        return RasCorruptPhonebook;
    std::vector<char*> arguments;
    for (const std::string& word : words)
        arguments.push_back(const_cast<char*>(word.c_str()));
    arguments.push_back(nullptr);
    std::vector<char*> environment = ChildEnvironment(entries);

    // Without attributes the program still runs, with the signal state it inherits.
    posix_spawnattr_t attributes;
    const bool haveAttributes = posix_spawnattr_init(&attributes) == 0;
    const TScopeExit destroyAttributes([&] {
        if (haveAttributes)
            posix_spawnattr_destroy(&attributes);
    });
    if (haveAttributes)
        SetCleanSignalState(attributes);
    pid_t child = 0;
    if (posix_spawnp(&child, arguments[0], nullptr, haveAttributes ? &attributes : nullptr, arguments.data(),
                     environment.data()) != 0)
        return RasDeviceDoesNotExist;

    int status = 0;
    pid_t waited;
    do
        waited = waitpid(child, &status, 0);
    while (waited == -1 && errno == EINTR);
    if (waited != child)
        return RasFromDevice;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? RasSuccess : RasFromDevice;
}
