#pragma once
// Starting the dialer as a launching program does, and reading the dial result from its end.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/ProgramRun.h"

// Starts the dialer with the block as its only argument and waits for its end as the options
// say; what the dialer started ends with it at a timeout. Raises EOSError when it cannot be
// started.
TProgramEnd RunDialer(const std::u16string& dialer, const std::u16string& block, const TRunOptions& options);

// The dial result that an end of the dialer stands for: Windows all 32 bits of its exit status;
// POSIX what its 8-bit status maps back to (CorvaneUtil/ExitStatus.h). Nothing when it timed out,
// was ended by a signal, or ended with a status that cannot be read back.
std::optional<std::uint32_t> DialResultOf(const TProgramEnd& end);
