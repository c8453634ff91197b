#pragma once
#include <type_traits>
#include <utility>

// Runs an action when the scope ends, however it ends: for the one-line clean-up that is no
// resource of its own (a structure set up in place, a field to put back, work to undo).
//
//     posix_spawn_file_actions_init(&actions);
//     const TScopeExit destroyActions([&] { posix_spawn_file_actions_destroy(&actions); });
//
// A clean-up that undoes work only when the work fails is dismissed once it has succeeded, and
// one that must happen before the end of the scope is run there; either way it runs at most once:
//
//     TScopeExit removeTemporary([&] { RemoveFile(temporary); });
//     ... write the temporary file, rename it into place ...
//     removeTemporary.Dismiss();
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
    ~TScopeExit() { RunNow(); }

    // The work it would undo is kept: the action never runs.
    void Dismiss() noexcept { FArmed = false; }

    // Runs the action here, unless it has run or was dismissed; the end of the scope then runs
    // nothing.
    void RunNow() noexcept
    {
        if (!FArmed)
            return;
        // Disarmed first, so an action that ends up here again does not run twice.
        FArmed = false;
        FAction();
    }

private:
    TAction FAction;
    bool FArmed = true;
};
