// Test hooks of our provider layer: they count calls and openings, record closings and play back
// planned failures. Installed before main in every test program that links them.

#include <map>
#include <memory>
#include <mutex>

#include "platform/posix/BcryptObjects.h"
#include "platform/posix/BcryptTesting.h"

namespace {

struct TPlannedFailure {
    std::int32_t Status = 0;
    int Skip = 0;
    int Times = 0;  // -1: every call from then on
    bool AfterWork = false;
};

// Test threads may race on provider calls, so every record sits behind one lock.
struct THookState {
    std::mutex Lock;
    std::map<std::string, TPlannedFailure> Failures;
    std::vector<BcryptTesting::TOpening> Openings;
    std::map<std::string, int> Calls;
    std::vector<void*> Closed;
    std::vector<std::uint32_t> HashFlags;
    bool LeaveKeys = false;
};

// Never destroyed: providers are still closed while static objects are torn down at exit.
THookState& State()
{
    static THookState* const state = std::make_unique<THookState>().release();
    return *state;
}

}  // namespace

namespace BcryptTesting {

void FailCall(const std::string& function, std::int32_t status, int skip, int times)
{
    THookState& state = State();
    std::lock_guard guard(state.Lock);
    state.Failures[function] = TPlannedFailure{status, skip, times, false};
}

void FailCallAfterItsWork(const std::string& function, std::int32_t status, int skip, int times)
{
    THookState& state = State();
    std::lock_guard guard(state.Lock);
    state.Failures[function] = TPlannedFailure{status, skip, times, true};
}

void ClearFailures()
{
    THookState& state = State();
    std::lock_guard guard(state.Lock);
    state.Failures.clear();
}

int OpenCount(const std::u16string& algId)
{
    THookState& state = State();
    std::lock_guard guard(state.Lock);
    int count = 0;
    for (const TOpening& opening : state.Openings)
        if (opening.AlgId == algId)
            ++count;
    return count;
}

std::vector<TOpening> Openings()
{
    THookState& state = State();
    std::lock_guard guard(state.Lock);
    return state.Openings;
}

std::vector<std::uint32_t> HashCreationFlags()
{
    THookState& state = State();
    std::lock_guard guard(state.Lock);
    return state.HashFlags;
}

int CallCount(const std::string& function)
{
    THookState& state = State();
    std::lock_guard guard(state.Lock);
    const auto found = state.Calls.find(function);
    return found == state.Calls.end() ? 0 : found->second;
}

std::vector<void*> ClosedProviders()
{
    THookState& state = State();
    std::lock_guard guard(state.Lock);
    return state.Closed;
}

void ResetCounters()
{
    THookState& state = State();
    std::lock_guard guard(state.Lock);
    state.Openings.clear();
    state.Calls.clear();
    state.Closed.clear();
    state.HashFlags.clear();
}

void LeaveReleasedKeysInPlace(bool leave)
{
    THookState& state = State();
    std::lock_guard guard(state.Lock);
    state.LeaveKeys = leave;
}

}  // namespace BcryptTesting

namespace {

using BcryptLayer::StatusNoMemory;
using BcryptLayer::StatusSuccess;

// The planned status of this call of function, if its plan is of the given kind. Called with
// the lock held.
NTSTATUS PlayBack(THookState& state, const char* function, bool afterWork)
{
    const auto found = state.Failures.find(function);
    if (found == state.Failures.end() || found->second.AfterWork != afterWork)
        return StatusSuccess;
    TPlannedFailure& failure = found->second;
    if (failure.Skip > 0) {
        --failure.Skip;
        return StatusSuccess;
    }
    if (failure.Times == 0)
        return StatusSuccess;
    if (failure.Times > 0)
        --failure.Times;
    return failure.Status;
}

NTSTATUS CountCall(const char* function) noexcept
{
    try {
        THookState& state = State();
        std::lock_guard guard(state.Lock);
        ++state.Calls[function];
        return PlayBack(state, function, false);
    } catch (...) {
        return StatusNoMemory;
    }
}

NTSTATUS FailAfterWork(const char* function) noexcept
{
    try {
        THookState& state = State();
        std::lock_guard guard(state.Lock);
        return PlayBack(state, function, true);
    } catch (...) {
        return StatusNoMemory;
    }
}

void RecordOpening(const char16_t* algId, const char16_t* implementation, ULONG flags) noexcept
{
    try {
        THookState& state = State();
        std::lock_guard guard(state.Lock);
        state.Openings.push_back(
            {algId, implementation ? std::optional<std::u16string>(implementation) : std::nullopt, flags});
    } catch (...) {
    }
}

void RecordHashCreation(ULONG flags) noexcept
{
    try {
        THookState& state = State();
        std::lock_guard guard(state.Lock);
        state.HashFlags.push_back(flags);
    } catch (...) {
    }
}

bool WipeReleasedKeys() noexcept
{
    try {
        THookState& state = State();
        std::lock_guard guard(state.Lock);
        return !state.LeaveKeys;
    } catch (...) {
        return true;
    }
}

void RecordClosing(void* handle) noexcept
{
    try {
        THookState& state = State();
        std::lock_guard guard(state.Lock);
        state.Closed.push_back(handle);
    } catch (...) {
    }
}

constexpr BcryptLayer::TCallHooks Hooks{
    CountCall, FailAfterWork, RecordOpening, RecordClosing, RecordHashCreation, WipeReleasedKeys,
};

// Runs before main: the counters see every call the test program makes.
[[maybe_unused]] const bool HooksInstalled = [] {
    BcryptLayer::InstallCallHooks(&Hooks);
    return true;
}();

}  // namespace
