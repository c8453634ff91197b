#pragma once
// A dialer run on a thread of the test, so that the test can look at the running dialer from
// outside and end it if it does not end by itself. The recording double names the dialer's process
// once the dial has reached it, and holds the dial there until the test releases it.

#include <cstdint>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "dialer/DialerHarness.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace DialerTesting {

enum class THold { UntilReleased, PassThrough };

class TBackgroundDial {
public:
    TBackgroundDial(TDialerHarness& harness, const std::vector<std::string>& args, THold hold);
    // Releases the double and ends a dialer that still runs, so no test leaves one behind.
    ~TBackgroundDial();
    TBackgroundDial(const TBackgroundDial&) = delete;
    TBackgroundDial& operator=(const TBackgroundDial&) = delete;

    // The dialer's process id once the dial has reached the double, or nothing when it has not
    // within the seconds given.
    std::optional<std::uint32_t> WaitUntilHeld(int seconds);
    void Release();
    // The run's exit, or nothing when the dialer has not ended within the seconds given; it is
    // then ended, so the test goes on.
    std::optional<TestSupport::TChildExit> Finish(int seconds);

private:
    void EndDialer() noexcept;

    TestSupport::TTempDir FHoldFolder;
    std::future<TestSupport::TChildExit> FRun;
    std::optional<std::uint32_t> FProcessId;
};

// The command line of another running process as the system shows it to other processes.
// Natively /proc/PID/cmdline, its arguments joined by one space; on Windows the CommandLine of the
// process parameters, read from the process's environment block with ReadProcessMemory. Nothing
// when it cannot be read.
std::optional<std::string> CommandLineOfProcess(std::uint32_t processId);

#ifdef _WIN32
// The same through NtQueryInformationProcess(ProcessCommandLineInformation), which Windows 8.1
// and later answer; nothing when the system does not (the status is in why).
std::optional<std::string> QueriedCommandLineOfProcess(std::uint32_t processId, std::string& why);
#endif

}  // namespace DialerTesting
