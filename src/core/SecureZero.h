#pragma once
#include <cstddef>

// Zero-fills memory in a way the compiler may not drop, even when the memory is about to be
// released. Every wipe of key material and plaintext goes through here.
void SecureZero(void* data, std::size_t size) noexcept;

// Zero-fills the whole buffer of a standard string, beyond its length up to its capacity, and
// empties it; the buffer stays. For a secret that an interface hands over in a plain string.
template <typename TString>
void WipeString(TString& text) noexcept
{
    text.resize(text.capacity());
    SecureZero(text.data(), text.size() * sizeof(typename TString::value_type));
    text.clear();
}
