#pragma once
#include <type_traits>
#include <utility>

// Runs an action when the scope ends, however it ends: for the one-line clean-up that is no
// resource of its own (a structure set up in place, a field to put back).
//
//     posix_spawn_file_actions_init(&actions);
//     const TScopeExit destroyActions([&] { posix_spawn_file_actions_destroy(&actions); });
//
// The action runs during unwinding too, so it must not raise.
template <typename TAction>
class [[nodiscard]] TScopeExit {
public:
    explicit TScopeExit(TAction action) noexcept(std::is_nothrow_move_constructible_v<TAction>)
        : FAction(std::move(action))
    {
    }
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;
    ~TScopeExit() { FAction(); }

private:
    TAction FAction;
};
