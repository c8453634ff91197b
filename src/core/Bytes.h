#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/SecureZero.h"

// Allocator that wipes every block before it goes back to the heap, so a container of key
// material or plaintext cannot leave copies behind, not even when it grows.
template <typename T>
struct TWipingAllocator {
    using value_type = T;

    TWipingAllocator() noexcept = default;
    template <typename U>
    TWipingAllocator(const TWipingAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T* p, std::size_t n) noexcept
    {
        SecureZero(p, n * sizeof(T));
        std::allocator<T>().deallocate(p, n);
    }

    template <typename U>
    bool operator==(const TWipingAllocator<U>&) const noexcept { return true; }
};

// A counted array of bytes: salts, digests, containers.
using TBytes = std::vector<std::uint8_t>;

// The same for key material and plaintext: wiped when released or reallocated.
using TSecureBytes = std::vector<std::uint8_t, TWipingAllocator<std::uint8_t>>;

// Zero-fills a byte array in place without changing its length.
template <typename Bytes>
void WipeBytes(Bytes& bytes) noexcept
{
    SecureZero(bytes.data(), bytes.size());
}
