#pragma once
// Memory for key material and plaintext: containers that wipe every block before it goes back
// to the heap, and the in-place wipe for a container that stays.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

#include "core/SecureZero.h"

// Allocator that wipes every block before it goes back to the heap, so a container of key
// material or plaintext cannot leave copies behind, not even when it grows.
//
// Only for trivially copyable elements: the wipe reaches an element's own bytes and nothing
// else. An element that owns memory elsewhere (a std::string) frees that memory unwiped in its
// destructor, and the container's wipe would only look like protection. Such elements wipe
// themselves (TSecureText) and go into a plain container.
template <typename T>
requires std::is_trivially_copyable_v<T>
struct TWipingAllocator {
    using value_type = T;

    TWipingAllocator() noexcept = default;
    template <typename U>
    TWipingAllocator(const TWipingAllocator<U>&) noexcept
    {
    }

    T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T* p, std::size_t n) noexcept
    {
        SecureZero(p, n * sizeof(T));
        std::allocator<T>().deallocate(p, n);
    }

    template <typename U>
    bool operator==(const TWipingAllocator<U>&) const noexcept
    {
        return true;
    }
};

// A vector that is wiped when released or reallocated.
template <typename T>
using TSecureVector = std::vector<T, TWipingAllocator<T>>;

// Key material and plaintext as bytes.
using TSecureBytes = TSecureVector<std::uint8_t>;

// Zero-fills a byte array in place without changing its length.
template <typename Bytes>
void WipeBytes(Bytes& bytes) noexcept
{
    SecureZero(bytes.data(), bytes.size());
}
