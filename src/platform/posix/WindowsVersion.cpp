#include "platform/WindowsVersion.h"

#include <mutex>

namespace {

std::mutex OverrideLock;
std::optional<TWindowsVersion> Override;

}  // namespace

TWindowsVersion RunningWindowsVersion()
{
    {
        std::lock_guard guard(OverrideLock);
        if (Override)
            return *Override;
    }
    // No Windows here: report one whose hash objects are reusable, which our provider offers.
    return TWindowsVersion{10, 0};
}

void OverrideWindowsVersionForTesting(std::optional<TWindowsVersion> version)
{
    std::lock_guard guard(OverrideLock);
    Override = version;
}
