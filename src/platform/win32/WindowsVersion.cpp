#include "platform/WindowsVersion.h"

#include <mutex>

#include <windows.h>

namespace {

std::mutex OverrideLock;
std::optional<TWindowsVersion> Override;

using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);

// RtlGetVersion reports the version the system really is; GetVersionEx is shimmed to whatever
// the program's manifest declares it was tested on.
TWindowsVersion RealVersion()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr)
        return {};
    const auto rtlGetVersion =
        reinterpret_cast<TRtlGetVersion>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    if (rtlGetVersion == nullptr)
        return {};
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (rtlGetVersion(&info) != 0)
        return {};
    return TWindowsVersion{info.dwMajorVersion, info.dwMinorVersion};
}

}  // namespace

TWindowsVersion RunningWindowsVersion()
{
    {
        std::lock_guard guard(OverrideLock);
        if (Override)
            return *Override;
    }
    return RealVersion();
}

void OverrideWindowsVersionForTesting(std::optional<TWindowsVersion> version)
{
    std::lock_guard guard(OverrideLock);
    Override = version;
}
