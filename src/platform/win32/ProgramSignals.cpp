#include "platform/ProgramSignals.h"

// Windows sends neither signal; a job object ends what the dialer started (platform/ProgramRun.h).
void IgnoreFileSizeLimitSignal() noexcept {}

void EndGroupWhenStarterGoes() noexcept {}
