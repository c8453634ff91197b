#pragma once
#include <cstdint>
#include <optional>

struct TWindowsVersion {
    std::uint32_t Major = 0;
    std::uint32_t Minor = 0;
};

// The real version of the running Windows (RtlGetVersion, which is not compatibility-shimmed).
// POSIX has none; it reports 10.0, because our provider layer supports reusable hash objects.
// Never fails: 0.0 when the version cannot be read.
TWindowsVersion RunningWindowsVersion();

// Tests only: makes RunningWindowsVersion report the given version (nothing: the real one).
void OverrideWindowsVersionForTesting(std::optional<TWindowsVersion> version);
