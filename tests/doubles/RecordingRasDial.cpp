// A stand-in for the Remote Access Service that dials nothing: it writes what it was handed to a
// file and returns the result the test asked for.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "RasDialRecording.h"

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

// The faults a broken library raises. The sanitizer build must not catch the store first: the
// dialer is to meet the fault itself.
__attribute__((no_sanitize("undefined"))) void Fault(const char* kind)
{
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
    if (const char* fault = std::getenv(RasDialRecording::FaultVariable))
        Fault(fault);
    const char* result = std::getenv(RasDialRecording::ResultVariable);
    return result != nullptr ? static_cast<std::uint32_t>(std::strtoul(result, nullptr, 10)) : 0;
}
