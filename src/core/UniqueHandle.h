#pragma once
#include <cstdint>
#include <type_traits>
#include <utility>

// The one owner of a system handle: a file or process handle, a module, a descriptor, a provider
// object. The traits name the handle type, the value that means "none" and the call that closes
// a handle:
//
//     struct TTraits {
//         using THandle = ...;
//         static THandle Invalid() noexcept;
//         static void Close(THandle handle) noexcept;
//     };
//
// Each system has its own "none" (null for a module, INVALID_HANDLE_VALUE for a file handle, -1
// for a descriptor), so emptiness is the traits' invalid value and never a null test. The invalid
// value is never closed. The traits' functions are called only from the members, so a header may
// name an owner over traits whose functions each platform defines.
//
// Closing cannot raise. A clean-up whose failure must be reported is written out where it
// happens, with the owner only standing by for the paths that never reach it.
template <typename TTraits>
class TUniqueHandle {
public:
    using THandle = typename TTraits::THandle;

    TUniqueHandle() noexcept : FHandle(TTraits::Invalid()) {}
    explicit TUniqueHandle(THandle handle) noexcept : FHandle(handle) {}
    TUniqueHandle(TUniqueHandle&& other) noexcept : FHandle(other.Release()) {}
    TUniqueHandle& operator=(TUniqueHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    TUniqueHandle(const TUniqueHandle&) = delete;
    TUniqueHandle& operator=(const TUniqueHandle&) = delete;
    ~TUniqueHandle() { Reset(); }

    THandle Get() const noexcept { return FHandle; }
    bool IsValid() const noexcept { return FHandle != TTraits::Invalid(); }
    explicit operator bool() const noexcept { return IsValid(); }

    // Gives the handle up without closing it; the owner is left empty.
    [[nodiscard]] THandle Release() noexcept { return std::exchange(FHandle, TTraits::Invalid()); }
    // Closes the handle held, if any, and takes the given one.
    void Reset(THandle handle = TTraits::Invalid()) noexcept
    {
        const THandle previous = std::exchange(FHandle, handle);
        if (previous != TTraits::Invalid())
            TTraits::Close(previous);
    }
    // For a call that hands a new handle out through a pointer: closes the handle held, if any,
    // and gives the address the call writes to.
    THandle* Put() noexcept
    {
        Reset();
        return &FHandle;
    }

private:
    THandle FHandle;
};

// Traits from a close function and an invalid value given as constants. The close function's
// result (a status, a BOOL) is ignored. An integer invalid value for a pointer handle type stands
// for that pointer value: -1 is Windows' INVALID_HANDLE_VALUE.
template <typename THandleType, auto CloseFunction, auto InvalidValue>
struct THandleTraits {
    using THandle = THandleType;

    static THandle Invalid() noexcept
    {
        if constexpr (std::is_pointer_v<THandle> && std::is_integral_v<decltype(InvalidValue)>)
            return reinterpret_cast<THandle>(static_cast<std::intptr_t>(InvalidValue));
        else
            return static_cast<THandle>(InvalidValue);
    }
    static void Close(THandle handle) noexcept { static_cast<void>(CloseFunction(handle)); }
};

// The owner in one line: TUniqueAny<HMODULE, &FreeLibrary, nullptr>.
template <typename THandle, auto CloseFunction, auto InvalidValue>
using TUniqueAny = TUniqueHandle<THandleTraits<THandle, CloseFunction, InvalidValue>>;
