#pragma once
// What the system's own programs do about the signals POSIX sends them. On Windows these do
// nothing.

#ifndef _WIN32
#include <csignal>

// The signal a program started by RunProgram gets when the thread that started it ends, however
// that ends (Linux).
inline constexpr int ParentDeathSignal = SIGHUP;
#endif

#ifdef _WIN32
// Windows sends neither signal; a job object ends what the dialer started (platform/ProgramRun.h).
inline void IgnoreFileSizeLimitSignal() noexcept {}
inline void EndGroupWhenStarterGoes() noexcept {}
#else
// Writes past a file-size limit (ulimit -f) fail with an error instead of ending the program with
// SIGXFSZ, so that a record cut short is cut back as on a full disk. The programs that the program
// starts get the signal's default back (RunProgram, the RAS layer's connect command).
void IgnoreFileSizeLimitSignal() noexcept;

// For the dialer: when its starter goes (ParentDeathSignal) while it leads a process group of its
// own, as RunProgram starts it, the whole group is killed, itself and everything it started (the
// RAS layer's connect command and what that started hold the password). A dialer that leads no
// group of its own just ends, as it would without this.
void EndGroupWhenStarterGoes() noexcept;
#endif
