#pragma once
#include <optional>
#include <string>

#include "platform/Clock.h"
#include "tools/corvane/Cli.h"

// --at "YYYY-MM-DD HH:MM": the local moment whose minute key a block is made or read under.
// Nothing: the local clock. Raises EUsageError when the value is not such a moment.
std::optional<TLocalDateTime> TakeMoment(TCommandArgs& args);
