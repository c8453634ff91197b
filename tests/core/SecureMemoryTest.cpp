// The wiping containers: which element types the allocator takes, and that the blocks a container
// gives back to the heap, when it grows and when it is released, hold nothing of what it held.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "core/SecureMemory.h"
#include "core/SecureText.h"
#include "dialer/FreedBlockProbe.h"

namespace {

// Whether the allocator, or a vector over it, can be named for T at all: the constraint as the
// compiler applies it, without a hard error.
template <typename T>
concept AllocatorTakes = requires
{
    typename TWipingAllocator<T>;
};
template <typename T>
concept SecureVectorTakes = requires
{
    typename TSecureVector<T>;
};

struct TPlainRecord {
    std::uint32_t Size;
    char16_t Text[8];
};
struct TOwningRecord {
    std::u16string Text;
};
struct TCopyCounted {
    TCopyCounted(const TCopyCounted& other);
    int Copies;
};

static_assert(AllocatorTakes<std::uint8_t> && AllocatorTakes<char> && AllocatorTakes<char16_t> &&
              AllocatorTakes<char32_t> && AllocatorTakes<wchar_t> && AllocatorTakes<TPlainRecord>);
// Elements that own memory elsewhere, or whose copies are not plain bytes, are refused.
static_assert(!AllocatorTakes<std::string> && !AllocatorTakes<std::u16string> && !AllocatorTakes<TSecureText> &&
              !AllocatorTakes<TSecureBytes> && !AllocatorTakes<TOwningRecord> && !AllocatorTakes<TCopyCounted>);
static_assert(SecureVectorTakes<char32_t> && !SecureVectorTakes<std::u16string> && !SecureVectorTakes<TOwningRecord>);
static_assert(std::is_same_v<TSecureBytes, TSecureVector<std::uint8_t>>);

// ASCII, so that the probe looks for it as bytes, UTF-16 and UTF-32 units alike.
constexpr std::u16string_view Secret = u"Wv3#Rq8!Lx5$Tn2%Zc7&Hb4*";
constexpr std::size_t Window = 8;

// One element at a time, from nothing: the vector outgrows several blocks on the way, each freed
// holding the part of the secret written so far. No other copy of the secret is made on the heap.
template <typename TVector>
void FillWithSecret(TVector& vector)
{
    for (const char16_t c : Secret)
        vector.push_back(static_cast<typename TVector::value_type>(c));
}

template <typename TElement>
class SecureVectorRelease : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const auto reason = FreedBlockProbe::Unavailable())
            GTEST_SKIP() << *reason;
    }

    // The blocks freed while the vector grows to hold the secret and is then destroyed.
    template <typename TVector>
    static std::size_t FreedBlocksHoldingTheSecret(std::string& findings)
    {
        FreedBlockProbe::TWatch watch(Secret, Window);
        {
            TVector vector;
            FillWithSecret(vector);
            // The vector is read as memory that is still in use, so its filling is not dropped.
            asm volatile("" : : "r"(vector.data()) : "memory");
        }
        findings = watch.Findings();
        return watch.Count();
    }
};

class TElementName {
public:
    template <typename T>
    static std::string GetName(int)
    {
        if constexpr (std::is_same_v<T, std::uint8_t>)
            return "Bytes";
        else if constexpr (std::is_same_v<T, char>)
            return "Chars";
        else if constexpr (std::is_same_v<T, char16_t>)
            return "Utf16Units";
        else
            return "Utf32Units";
    }
};

using TElements = ::testing::Types<std::uint8_t, char, char16_t, char32_t>;
TYPED_TEST_SUITE(SecureVectorRelease, TElements, TElementName);

TYPED_TEST(SecureVectorRelease, LeavesNothingInTheBlocksItFrees)
{
    std::string findings;
    EXPECT_EQ(this->template FreedBlocksHoldingTheSecret<TSecureVector<TypeParam>>(findings), 0U) << findings;
}

// The control: the probe does see what a plain vector of the same elements leaves behind.
TYPED_TEST(SecureVectorRelease, PlainVectorLeavesTheSecretBehind)
{
    std::string findings;
    EXPECT_GT(this->template FreedBlocksHoldingTheSecret<std::vector<TypeParam>>(findings), 0U);
}

}  // namespace
