#include "launch/Dial.h"

#include <vector>

#include "CorvaneUtil/ExitStatus.h"
#include "core/ScopeExit.h"
#include "core/SecureZero.h"

TProgramEnd RunDialer(const std::u16string& dialer, const std::u16string& block, const TRunOptions& options)
{
    // The argument is a copy of the block, wiped however the run ends; made in place, since a braced
    // list would leave a copy of its own.
    std::vector<std::u16string> args(1);
    const TScopeExit wipeArgument([&args] { WipeString(args.front()); });
    args.front().assign(block);
    return RunProgram(dialer, args, options);
}

std::optional<std::uint32_t> DialResultOf(const TProgramEnd& end)
{
    if (end.Kind != TProgramEnd::TKind::Exited)
        return std::nullopt;
#ifdef _WIN32
    return end.Status;
#else
    return DialResultOfPosixExitStatus(static_cast<int>(end.Status));
#endif
}
