#pragma once
// What a dialer exit status means, in this tool's own words: the dialer's own statuses (0, 87,
// 9999) and the Remote Access Service error codes that dials commonly end with, the POSIX RAS
// layer's among them.

#include <cstdint>
#include <optional>
#include <string_view>

// Lookups only; neither fails.
// The dialer's own meaning of 0, 87 and 9999; nothing for the service's codes.
std::optional<std::string_view> DialerStatusMeaning(std::uint32_t status);
// The meaning of a Remote Access Service error code, or nothing when the table lacks it.
std::optional<std::string_view> RasErrorMeaning(std::uint32_t code);
