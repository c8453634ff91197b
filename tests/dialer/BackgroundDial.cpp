#include "dialer/BackgroundDial.h"

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "doubles/RasDialRecording.h"

#ifdef _WIN32
#include <windows.h>
#include <winternl.h>
#else
#include <signal.h>
#endif

namespace fs = std::filesystem;
using namespace TestSupport;

namespace DialerTesting {

namespace {

std::optional<std::uint32_t> ReadProcessId(const fs::path& file)
{
    std::ifstream in(file);
    unsigned long processId = 0;
    if (in >> processId && processId != 0)
        return static_cast<std::uint32_t>(processId);
    return std::nullopt;
}

}  // namespace

TBackgroundDial::TBackgroundDial(TDialerHarness& harness, const std::vector<std::string>& args, THold hold)
{
    if (hold == THold::PassThrough)
        Release();
    harness.Environment().emplace_back(RasDialRecording::HoldVariable, FHoldFolder.Path().string());
    FRun = std::async(std::launch::async, [&harness, args] { return harness.Run(args); });
}

TBackgroundDial::~TBackgroundDial()
{
    if (!FRun.valid())
        return;
    Release();
    if (FRun.wait_for(std::chrono::seconds(30)) != std::future_status::ready)
        EndDialer();
    try {
        FRun.get();
    } catch (...) {
        // The test has failed already, or never looked; nothing to add.
    }
}

std::optional<std::uint32_t> TBackgroundDial::WaitUntilHeld(int seconds)
{
    const fs::path held = FHoldFolder / RasDialRecording::HeldFile;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!FProcessId && std::chrono::steady_clock::now() < until) {
        // The double writes the number and then closes the file; a read in between finds none.
        FProcessId = ReadProcessId(held);
        if (!FProcessId && FRun.wait_for(std::chrono::milliseconds(20)) == std::future_status::ready) {
            FProcessId = ReadProcessId(held);
            break;
        }
    }
    return FProcessId;
}

void TBackgroundDial::Release()
{
    WriteFileBytes(FHoldFolder / RasDialRecording::ReleaseFile, "");
}

std::optional<TChildExit> TBackgroundDial::Finish(int seconds)
{
    if (FRun.wait_for(std::chrono::seconds(seconds)) == std::future_status::ready)
        return FRun.get();
    EndDialer();
    FRun.wait();
    return std::nullopt;
}

void TBackgroundDial::EndDialer() noexcept
{
    if (!FProcessId)
        FProcessId = ReadProcessId(FHoldFolder / RasDialRecording::HeldFile);
    if (!FProcessId)
        return;
#ifdef _WIN32
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, *FProcessId)) {
        TerminateProcess(process, 1);
        CloseHandle(process);
    }
#else
    kill(static_cast<pid_t>(*FProcessId), SIGKILL);
#endif
}

#ifdef _WIN32

namespace {

using TNtQueryInformationProcess = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);

TNtQueryInformationProcess NtQuery()
{
    return reinterpret_cast<TNtQueryInformationProcess>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
}

struct TProcessHandle {
    HANDLE Handle;
    explicit TProcessHandle(std::uint32_t processId)
        : Handle(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId))
    {
    }
    ~TProcessHandle()
    {
        if (Handle != nullptr)
            CloseHandle(Handle);
    }
    TProcessHandle(const TProcessHandle&) = delete;
    TProcessHandle& operator=(const TProcessHandle&) = delete;
};

template <typename T>
[[nodiscard]] bool ReadRemote(HANDLE process, const void* address, T& value, std::size_t size = sizeof(T))
{
    SIZE_T read = 0;
    return ReadProcessMemory(process, address, &value, size, &read) && read == size;
}

std::string Utf8Of(const wchar_t* text, std::size_t length)
{
    return U8(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}

}  // namespace

std::optional<std::string> CommandLineOfProcess(std::uint32_t processId)
{
    const TProcessHandle process(processId);
    const TNtQueryInformationProcess query = NtQuery();
    if (process.Handle == nullptr || query == nullptr)
        return std::nullopt;
    PROCESS_BASIC_INFORMATION basic{};
    if (query(process.Handle, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0)
        return std::nullopt;
    // Only as far as the pointer to the process parameters: the rest of the block differs
    // between systems.
    PEB peb{};
    RTL_USER_PROCESS_PARAMETERS parameters{};
    if (!ReadRemote(process.Handle, basic.PebBaseAddress, peb, offsetof(PEB, ProcessParameters) + sizeof(void*)) ||
        !ReadRemote(process.Handle, peb.ProcessParameters, parameters))
        return std::nullopt;
    std::wstring text(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
    SIZE_T read = 0;
    if (!ReadProcessMemory(process.Handle, parameters.CommandLine.Buffer, text.data(), parameters.CommandLine.Length,
                           &read) ||
        read != parameters.CommandLine.Length)
        return std::nullopt;
    return Utf8Of(text.data(), text.size());
}

std::optional<std::string> QueriedCommandLineOfProcess(std::uint32_t processId, std::string& why)
{
    constexpr auto ProcessCommandLineInformation = static_cast<PROCESSINFOCLASS>(60);
    const TProcessHandle process(processId);
    const TNtQueryInformationProcess query = NtQuery();
    if (process.Handle == nullptr || query == nullptr) {
        why = "cannot open the process";
        return std::nullopt;
    }
    ULONG size = 0;
    std::vector<unsigned char> buffer(64 * 1024);
    const NTSTATUS status =
        query(process.Handle, ProcessCommandLineInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &size);
    if (status != 0) {
        char text[64];
        std::snprintf(text, sizeof text, "status 0x%08lX", static_cast<unsigned long>(status));
        why = text;
        return std::nullopt;
    }
    const auto* commandLine = reinterpret_cast<const UNICODE_STRING*>(buffer.data());
    return Utf8Of(commandLine->Buffer, commandLine->Length / sizeof(wchar_t));
}

#else

std::optional<std::string> CommandLineOfProcess(std::uint32_t processId)
{
    std::ifstream in("/proc/" + std::to_string(processId) + "/cmdline", std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!text.empty() && text.back() == '\0')
        text.pop_back();
    for (char& c : text)
        if (c == '\0')
            c = ' ';
    return text;
}

#endif

}  // namespace DialerTesting
