// Call bookkeeping of our provider layer: nothing unless test hooks are installed.

#include <atomic>

#include "platform/posix/BcryptObjects.h"

namespace BcryptLayer {

namespace {

std::atomic<const TCallHooks*> InstalledHooks{nullptr};

}  // namespace

void InstallCallHooks(const TCallHooks* hooks) noexcept
{
    InstalledHooks.store(hooks, std::memory_order_release);
}

NTSTATUS EnterCall(const char* function) noexcept
{
    const TCallHooks* hooks = InstalledHooks.load(std::memory_order_acquire);
    return hooks == nullptr ? StatusSuccess : hooks->EnterCall(function);
}

NTSTATUS LeaveCall(const char* function) noexcept
{
    const TCallHooks* hooks = InstalledHooks.load(std::memory_order_acquire);
    return hooks == nullptr ? StatusSuccess : hooks->LeaveCall(function);
}

void NoteOpened(const char16_t* algId, const char16_t* implementation, ULONG flags) noexcept
{
    if (const TCallHooks* hooks = InstalledHooks.load(std::memory_order_acquire))
        hooks->NoteOpened(algId, implementation, flags);
}

void NoteClosed(void* handle) noexcept
{
    if (const TCallHooks* hooks = InstalledHooks.load(std::memory_order_acquire))
        hooks->NoteClosed(handle);
}

void NoteHashCreated(ULONG flags) noexcept
{
    if (const TCallHooks* hooks = InstalledHooks.load(std::memory_order_acquire))
        hooks->NoteHashCreated(flags);
}

bool WipesReleasedKeys() noexcept
{
    const TCallHooks* hooks = InstalledHooks.load(std::memory_order_acquire);
    return hooks == nullptr || hooks->WipesReleasedKeys();
}

}  // namespace BcryptLayer
