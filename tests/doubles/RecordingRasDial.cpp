// A stand-in for the Remote Access Service that dials nothing: it writes what it was handed to a
// file and returns the result the test asked for.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "doubles/RasDialRecording.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#ifdef _WIN32
#define CORVANE_EXPORT __declspec(dllexport)
#else
#define CORVANE_EXPORT __attribute__((visibility("default")))
#endif

namespace {

void Record(void* extensions, const char16_t* phonebook, void* params, std::uint32_t notifierType, void* notifier,
            void** connection)
{
    using namespace RasDialRecording;
    const char* fileName = std::getenv(RecordFileVariable);
    if (fileName == nullptr)
        return;
    std::FILE* file = std::fopen(fileName, "wb");
    if (file == nullptr)
        return;

    std::uint32_t flags = 0;
    if (extensions != nullptr)
        flags |= ExtensionsGiven;
    if (phonebook != nullptr)
        flags |= PhonebookGiven;
    if (notifier != nullptr)
        flags |= NotifierGiven;
    if (connection != nullptr)
        flags |= HandleGiven;
    if (connection != nullptr && *connection == nullptr)
        flags |= HandleWasNull;

    static const unsigned char zeros[ExtensionsSize] = {};
    std::fwrite(&notifierType, sizeof notifierType, 1, file);
    std::fwrite(&flags, sizeof flags, 1, file);
    std::fwrite(extensions != nullptr ? extensions : zeros, 1, ExtensionsSize, file);
    std::fwrite(params, 1, ParamsSize, file);
    for (const char16_t* c = phonebook; c != nullptr && *c != u'\0'; ++c)
        std::fwrite(c, sizeof *c, 1, file);
    std::fclose(file);
}

void Pause(int milliseconds)
{
#ifdef _WIN32
    Sleep(static_cast<DWORD>(milliseconds));
#else
    usleep(static_cast<useconds_t>(milliseconds) * 1000);
#endif
}

bool Exists(const char* path)
{
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return false;
    std::fclose(file);
    return true;
}

// A dial that takes as long as the test wants: the test reads the dialer from outside meanwhile.
void Hold(const char* folder)
{
    using namespace RasDialRecording;
    char held[4096];
    char release[4096];
    std::snprintf(held, sizeof held, "%s/%s", folder, HeldFile);
    std::snprintf(release, sizeof release, "%s/%s", folder, ReleaseFile);
    if (std::FILE* file = std::fopen(held, "wb")) {
#ifdef _WIN32
        std::fprintf(file, "%lu", static_cast<unsigned long>(GetCurrentProcessId()));
#else
        std::fprintf(file, "%ld", static_cast<long>(getpid()));
#endif
        std::fclose(file);
    }
    for (int waited = 0; waited < HoldLimitSeconds * 1000 && !Exists(release); waited += 20)
        Pause(20);
}

#ifdef _WIN32
// Locks every heap of the process and keeps it locked, as a thread of the system's caught inside
// an allocation would.
DWORD WINAPI HoldEveryHeap(void* locked)
{
    HANDLE heaps[256];
    const DWORD count = GetProcessHeaps(256, heaps);
    for (DWORD i = 0; i < count && i < 256; ++i)
        HeapLock(heaps[i]);
    SetEvent(static_cast<HANDLE>(locked));
    Sleep(INFINITE);
    return 0;
}

// From here until the fault the thread allocates nothing: it would wait for the heaps itself.
void LockEveryHeapFromAnotherThread()
{
    const HANDLE locked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE thread = CreateThread(nullptr, 0, &HoldEveryHeap, locked, 0, nullptr);
    if (locked == nullptr || thread == nullptr)
        return;
    WaitForSingleObject(locked, INFINITE);
}
#endif

// The faults a broken library raises. The sanitizer build must not catch the store first: the
// dialer is to meet the fault itself.
__attribute__((no_sanitize("undefined"))) void Fault(const char* kind)
{
#ifdef _WIN32
    if (std::strcmp(kind, "access-violation-heaps-locked") == 0) {
        LockEveryHeapFromAnotherThread();
        kind = "access-violation";
    }
#endif
    if (std::strcmp(kind, "access-violation") == 0) {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
    } else if (std::strcmp(kind, "illegal-instruction") == 0) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" CORVANE_EXPORT std::uint32_t RasDialW(void* lpRasDialExtensions, const char16_t* lpszPhonebook,
                                                 void* lpRasDialParams, std::uint32_t dwNotifierType, void* lpvNotifier,
                                                 void** lphRasConn)
{
    Record(lpRasDialExtensions, lpszPhonebook, lpRasDialParams, dwNotifierType, lpvNotifier, lphRasConn);
    if (const char* folder = std::getenv(RasDialRecording::HoldVariable))
        Hold(folder);
    if (const char* fault = std::getenv(RasDialRecording::FaultVariable))
        Fault(fault);
    const char* result = std::getenv(RasDialRecording::ResultVariable);
    return result != nullptr ? static_cast<std::uint32_t>(std::strtoul(result, nullptr, 10)) : 0;
}
