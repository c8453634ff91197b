#pragma once
#include <cstddef>

// Zero-fills memory in a way the compiler may not drop, even when the memory is about to be
// released. Every wipe of key material and plaintext goes through here.
void SecureZero(void* data, std::size_t size) noexcept;
