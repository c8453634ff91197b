#include "launch/Dial.h"

#include "CorvaneUtil/ExitStatus.h"

TProgramEnd RunDialer(const std::u16string& dialer, const std::u16string& block, const TRunOptions& options)
{
    return RunProgram(dialer, {block}, options);
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
