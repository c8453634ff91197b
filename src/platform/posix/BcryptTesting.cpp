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
};

// Test threads may race on provider calls, so every record sits behind one lock.
struct THookState {
    std::mutex Lock;
    std::map<std::string, TPlannedFailure> Failures;
    std::map<std::u16string, int> Openings;
    std::map<std::string, int> Calls;
    std::vector<void*> Closed;
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
    state.Failures[function] = TPlannedFailure{status, skip, times};
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
    const auto found = state.Openings.find(algId);
    return found == state.Openings.end() ? 0 : found->second;
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
}

}  // namespace BcryptTesting

namespace {

using BcryptLayer::StatusNoMemory;
using BcryptLayer::StatusSuccess;

NTSTATUS CountCall(const char* function) noexcept
{
    try {
        THookState& state = State();
        std::lock_guard guard(state.Lock);
        ++state.Calls[function];
        const auto found = state.Failures.find(function);
        if (found == state.Failures.end())
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
    } catch (...) {
        return StatusNoMemory;
    }
}

void CountOpening(const char16_t* algId) noexcept
{
    try {
        THookState& state = State();
        std::lock_guard guard(state.Lock);
        ++state.Openings[algId];
    } catch (...) {
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

constexpr BcryptLayer::TCallHooks Hooks{CountCall, CountOpening, RecordClosing};

// Runs before main: the counters see every call the test program makes.
[[maybe_unused]] const bool HooksInstalled = [] {
    BcryptLayer::InstallCallHooks(&Hooks);
    return true;
}();

}  // namespace
