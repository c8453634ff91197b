#pragma once
// Runs the built dialer as a launching program does: from a folder of its own, with PROGRAMDATA
// pointing at a fresh folder that has the common error-log directory, and with a chosen Remote
// Access Service library: the recording double, a library without RasDialW, or none.
//
// Natively the library sits beside the dialer as librasapi32.so. Under Wine it is copied into the
// system directory as rasapi32.dll and selected for CorvaneDialer.exe through the prefix's DLL
// overrides (native only, or disabled for the missing library); Wine's own copy and settings come
// back when the harness goes.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "CorvaneUtil/ExitStatus.h"
#include "core/Bytes.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace DialerTesting {

enum class TRasLibrary { Recording, WithoutDial, Missing };

// What the recording double was handed.
struct TRecordedDial {
    std::uint32_t NotifierType = 0;
    std::uint32_t Flags = 0;
    TBytes Extensions;  // 44 bytes
    TBytes Params;      // 2108 bytes
    std::u16string Phonebook;
};

// One record of the error log, its body decrypted under the log's key.
struct TLoggedMessage {
    std::string FirstLine;  // "[<time stamp>] "
    std::u16string Digest;  // the 32 hexadecimal digits before the message
    std::u16string Message;
};

class TDialerHarness {
public:
    TDialerHarness();
    ~TDialerHarness();
    TDialerHarness(const TDialerHarness&) = delete;
    TDialerHarness& operator=(const TDialerHarness&) = delete;

    const std::filesystem::path& DialerPath() const noexcept { return FDialer; }
    std::filesystem::path LogFile() const;

    // The library RasDialW is to come from (the recording double unless chosen otherwise).
    void UseRasLibrary(TRasLibrary library);
    // Copies a library into the dialer's own folder under the platform's library name.
    void PlantBesideDialer(TRasLibrary library);
    // What the recording double returns.
    void SetDialResult(std::uint32_t result) { FDialResult = result; }
    // Further changes to the dialer's environment.
    TestSupport::TEnvironmentChanges& Environment() noexcept { return FExtraEnvironment; }

    TestSupport::TChildExit Run(const std::vector<std::string>& args);
    // Runs with a parameter block made now from the items.
    TestSupport::TChildExit RunWithItems(const std::vector<std::u16string>& items);
    // Runs the program (faketime, for one) with the dialer's environment and these arguments.
    TestSupport::TChildExit RunThrough(const std::filesystem::path& program, const std::vector<std::string>& args);

    std::optional<TRecordedDial> Recorded() const;
    std::vector<TLoggedMessage> Logged() const;

    // The environment the dialer runs in; a launching program run in it passes it on.
    TestSupport::TEnvironmentChanges DialerEnvironment() const;

private:
    std::filesystem::path LibraryFile(TRasLibrary library) const;

    TestSupport::TTempDir FRoot;
    std::filesystem::path FDialer;
    std::filesystem::path FRecordFile;
    std::uint32_t FDialResult = 0;
    TestSupport::TEnvironmentChanges FExtraEnvironment;
#ifdef _WIN32
    std::filesystem::path FSystemLibrary;
    std::optional<TBytes> FOriginalSystemLibrary;
#endif
};

// build/<preset>/doubles: the recording double, and in without-dial/ the library that lacks RasDialW.
std::filesystem::path DoublesDir();

// A parameter block of the items, made under the minute key of the local clock.
std::string MakeBlock(const std::vector<std::u16string>& items);

// The exit status as the launching program sees it: all 32 bits on Windows, the low 8 on POSIX.
std::uint32_t SeenStatus(std::uint32_t status);

// A message as it comes back from an encrypted log body: the body's text passes the ANSI code
// page, where 1252 turns what it cannot hold into "?".
std::u16string AsLogged(const std::u16string& message);

// Holds a file open so no one else may write it: a Windows share-none handle, natively an
// exclusive flock.
class TFileHold {
public:
    explicit TFileHold(const std::filesystem::path& path);
    ~TFileHold();
    TFileHold(const TFileHold&) = delete;
    TFileHold& operator=(const TFileHold&) = delete;

private:
#ifdef _WIN32
    void* FHandle;
#else
    int FDescriptor;
#endif
};

}  // namespace DialerTesting
