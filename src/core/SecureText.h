#pragma once
// UTF-16 text for secrets: passwords, keys, plain parameter blocks and other decrypted text.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "core/SecureMemory.h"
#include "core/SecureZero.h"

// A text that leaves no copy of itself in memory it gives up. Every buffer it lets go of is wiped
// first: the one it outgrows, the one it drops when assigned, the one it holds when destroyed. A
// short text lives in a buffer inside the object itself, and a text that outgrows that buffer
// leaves part of itself there; the destructor wipes the whole object as well, so a text inside
// memory that is freed afterwards (the items of a list) is gone too.
//
// Rules for whoever holds a secret in one:
// - A view (std::u16string_view) costs nothing and copies nothing; pass views, not copies.
// - Making one from other text is explicit; making a std::u16string from one is a copy that
//   nothing wipes, and is kept for texts that stop being secret.
// - A secret that arrives in a std::u16string from an interface that knows no other is taken over
//   with TakeOver, which wipes the plain string's buffer.
class TSecureText {
public:
    using TString = std::basic_string<char16_t, std::char_traits<char16_t>, TWipingAllocator<char16_t>>;
    using value_type = char16_t;
    using size_type = std::size_t;
    using const_iterator = TString::const_iterator;
    static constexpr size_type npos = TString::npos;

    TSecureText() noexcept : FText() {}
    explicit TSecureText(std::u16string_view text) : FText(text) {}
    TSecureText(size_type count, char16_t c) : FText(count, c) {}
    TSecureText(const TSecureText& other) : FText(other.FText) {}
    TSecureText(TSecureText&& other) noexcept : FText(std::move(other.FText)) {}
    TSecureText& operator=(const TSecureText& other)
    {
        FText = other.FText;
        return *this;
    }
    // The standard library may hand this text's old buffer to the other text; buffers only ever
    // pass between texts of this type, which wipe whatever they end up with.
    TSecureText& operator=(TSecureText&& other) noexcept
    {
        FText = std::move(other.FText);
        return *this;
    }
    ~TSecureText()
    {
        // The allocator wipes the heap buffer; then the object, with its short-text buffer.
        FText.~TString();
        SecureZero(&FText, sizeof FText);
    }

    // A copy of a plain text, whose whole buffer is wiped and emptied afterwards.
    static TSecureText TakeOver(std::u16string& plain)
    {
        TSecureText text(plain);
        plain.resize(plain.capacity());
        SecureZero(plain.data(), plain.size() * sizeof(char16_t));
        plain.clear();
        return text;
    }

    size_type size() const noexcept { return FText.size(); }
    size_type length() const noexcept { return FText.size(); }
    bool empty() const noexcept { return FText.empty(); }
    size_type capacity() const noexcept { return FText.capacity(); }
    const char16_t* data() const noexcept { return FText.data(); }
    char16_t* data() noexcept { return FText.data(); }
    const char16_t* c_str() const noexcept { return FText.c_str(); }
    const_iterator begin() const noexcept { return FText.begin(); }
    const_iterator end() const noexcept { return FText.end(); }
    char16_t operator[](size_type index) const noexcept { return FText[index]; }
    char16_t& operator[](size_type index) noexcept { return FText[index]; }
    char16_t back() const noexcept { return FText.back(); }

    std::u16string_view View() const noexcept { return FText; }
    operator std::u16string_view() const noexcept { return FText; }

    // Empties the text and wipes its whole buffer, which stays for reuse.
    void clear() noexcept
    {
        FText.resize(FText.capacity());
        SecureZero(FText.data(), FText.size() * sizeof(char16_t));
        FText.clear();
    }
    void reserve(size_type capacity) { FText.reserve(capacity); }
    void resize(size_type size) { FText.resize(size); }
    void resize(size_type size, char16_t c) { FText.resize(size, c); }
    void push_back(char16_t c) { FText.push_back(c); }
    void pop_back() noexcept { FText.pop_back(); }
    TSecureText& append(std::u16string_view text)
    {
        FText.append(text);
        return *this;
    }
    TSecureText& append(size_type count, char16_t c)
    {
        FText.append(count, c);
        return *this;
    }
    TSecureText& operator+=(std::u16string_view text) { return append(text); }
    TSecureText& operator+=(char16_t c)
    {
        FText.push_back(c);
        return *this;
    }
    TSecureText& assign(std::u16string_view text)
    {
        FText.assign(text);
        return *this;
    }

    TSecureText substr(size_type position, size_type count = npos) const
    {
        return TSecureText(View().substr(position, count));
    }
    size_type find(char16_t c, size_type position = 0) const noexcept { return FText.find(c, position); }

    friend bool operator==(const TSecureText& a, const TSecureText& b) noexcept { return a.View() == b.View(); }
    friend bool operator==(const TSecureText& a, std::u16string_view b) noexcept { return a.View() == b; }

private:
    // A union member, so the destructor can wipe the object once the string in it has ended.
    union {
        TString FText;
    };
};
