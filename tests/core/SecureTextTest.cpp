// A wiping text leaves nothing of itself in its own object once destroyed: not a short text,
// which lives in the object, and not the part of a text that outgrew the object and left a
// remnant in it. (That the buffers it frees are wiped, the freed-memory probe of the dialer's
// tests shows.)

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>

#include "core/SecureText.h"

namespace {

struct TObjectCase {
    const char* Name;
    std::u16string First;     // the text the object is made with
    std::u16string Appended;  // then appended to it
};

void PrintTo(const TObjectCase& c, std::ostream* os)
{
    *os << c.Name;
}

class SecureTextObject : public ::testing::TestWithParam<TObjectCase> {};

TEST_P(SecureTextObject, IsAllZeroOnceDestroyed)
{
    const TObjectCase& c = GetParam();
    alignas(TSecureText) std::byte storage[sizeof(TSecureText)];
    std::fill(std::begin(storage), std::end(storage), std::byte{0x5A});

    TSecureText* text = std::construct_at(reinterpret_cast<TSecureText*>(storage), c.First);
    text->append(c.Appended);
    ASSERT_EQ(*text, c.First + c.Appended);
    std::destroy_at(text);
    // The storage is read as plain memory again, not as the object whose life has ended.
    asm volatile("" : : "r"(storage) : "memory");

    EXPECT_TRUE(std::all_of(std::begin(storage), std::end(storage), [](std::byte b) { return b == std::byte{0}; }));
}

INSTANTIATE_TEST_SUITE_P(Texts, SecureTextObject,
                         ::testing::Values(  // Inside the object all along.
                             TObjectCase{"Short", u"pw", u"12"},
                             // Inside the object first, then moved out of it.
                             TObjectCase{"OutgrewTheObject", u"k3#Qv9!", u"mZ7@xR2$wT5%nL8^pB4&jH6"},
                             TObjectCase{"LongFromTheStart", u"Qv7#mZ2!xR9@kT4$wL6%", u"++"}),
                         [](const auto& info) { return std::string(info.param.Name); });

// clear() keeps the buffer for reuse and leaves nothing of the text in it: neither the characters
// in use nor those past the end that a shortened text no longer uses.
struct TClearCase {
    const char* Name;
    std::u16string Text;  // made with, then grown with secret characters to fill its capacity
    std::size_t Kept;     // then shortened to this many before clear()
};

void PrintTo(const TClearCase& c, std::ostream* os)
{
    *os << c.Name;
}

class SecureTextClear : public ::testing::TestWithParam<TClearCase> {};

TEST_P(SecureTextClear, LeavesZerosInItsWholeCapacity)
{
    const TClearCase& c = GetParam();
    TSecureText text(c.Text);
    text.resize(text.capacity(), u'S');
    text.resize(c.Kept);
    const std::size_t capacity = text.capacity();
    const volatile char16_t* buffer = text.data();

    text.clear();

    EXPECT_TRUE(text.empty());
    ASSERT_EQ(text.capacity(), capacity);
    ASSERT_EQ(text.data(), buffer);
    std::size_t left = 0;
    for (std::size_t i = 0; i < capacity; ++i)
        left += buffer[i] != u'\0';
    EXPECT_EQ(left, 0u) << "characters left in a capacity of " << capacity;
}

INSTANTIATE_TEST_SUITE_P(Texts, SecureTextClear,
                         ::testing::Values(  // In the buffer inside the object.
                             TClearCase{"InsideTheObject", u"pw", 2}, TClearCase{"ShortenedInsideTheObject", u"pw", 1},
                             // On the heap.
                             TClearCase{"OnTheHeap", u"Qv7#mZ2!xR9@kT4$wL6%", 20},
                             TClearCase{"ShortenedOnTheHeap", u"Qv7#mZ2!xR9@kT4$wL6%", 3},
                             TClearCase{"ShortenedToNothing", u"Qv7#mZ2!xR9@kT4$wL6%", 0}),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
