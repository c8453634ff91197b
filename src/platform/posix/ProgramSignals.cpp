#include "platform/ProgramSignals.h"

#include <signal.h>
#include <unistd.h>

namespace {

extern "C" void EndOwnGroup(int signalNumber)
{
    // Only a group of its own: a dialer started inside its starter's group would end the starter.
    if (getpgrp() == getpid())
        kill(0, SIGKILL);
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

}  // namespace

void IgnoreFileSizeLimitSignal() noexcept
{
    signal(SIGXFSZ, SIG_IGN);
}

void EndGroupWhenStarterGoes() noexcept
{
    struct sigaction action {};
    action.sa_handler = &EndOwnGroup;
    sigemptyset(&action.sa_mask);
    sigaction(ParentDeathSignal, &action, nullptr);
}
