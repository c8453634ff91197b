#include "core/UniqueHandle.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// Every handle the owners under test closed, in order.
std::vector<int> Closed;

// A descriptor-like handle: 0 is a handle like any other, -1 is none. The close call returns a
// status, which the owner ignores.
int CloseRecorded(int handle)
{
    Closed.push_back(handle);
    return 0;
}

using TOwner = TUniqueAny<int, &CloseRecorded, -1>;

// A pointer handle whose "none" is the all-ones pointer, as INVALID_HANDLE_VALUE is.
char Objects[3];

void ClosePointerRecorded(char* handle)
{
    Closed.push_back(handle == nullptr ? -2 : static_cast<int>(handle - Objects));
}

using TPointerOwner = TUniqueAny<char*, &ClosePointerRecorded, -1>;

class UniqueHandleTest : public ::testing::Test {
protected:
    void SetUp() override { Closed.clear(); }
};

TEST_F(UniqueHandleTest, EmptyOwnerClosesNothing)
{
    {
        const TOwner empty;
        EXPECT_FALSE(empty.IsValid());
        EXPECT_FALSE(empty);
        EXPECT_EQ(empty.Get(), -1);
        const TOwner givenInvalid(-1);
        EXPECT_FALSE(givenInvalid);
    }
    EXPECT_TRUE(Closed.empty());
}

TEST_F(UniqueHandleTest, ZeroIsAHandleWhenTheInvalidValueIsAnother)
{
    {
        const TOwner owner(0);
        EXPECT_TRUE(owner.IsValid());
    }
    EXPECT_EQ(Closed, std::vector<int>{0});
}

TEST_F(UniqueHandleTest, MoveConstructionHandsTheHandleOverAndItIsClosedOnce)
{
    {
        TOwner first(7);
        const TOwner second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(second.Get(), 7);
        EXPECT_TRUE(Closed.empty());
    }
    EXPECT_EQ(Closed, std::vector<int>{7});
}

TEST_F(UniqueHandleTest, MoveAssignmentClosesTheTargetsHandleAndTakesTheOther)
{
    {
        TOwner source(7);
        TOwner target(8);
        target = std::move(source);
        EXPECT_EQ(Closed, std::vector<int>{8});
        EXPECT_FALSE(source);
        EXPECT_EQ(target.Get(), 7);
    }
    EXPECT_EQ(Closed, (std::vector<int>{8, 7}));
}

TEST_F(UniqueHandleTest, SelfMoveAssignmentKeepsTheHandle)
{
    {
        TOwner owner(7);
        TOwner& alias = owner;
        owner = std::move(alias);
        EXPECT_EQ(owner.Get(), 7);
        EXPECT_TRUE(Closed.empty());
    }
    EXPECT_EQ(Closed, std::vector<int>{7});
}

TEST_F(UniqueHandleTest, ResetClosesThePreviousHandleExactlyOnce)
{
    {
        TOwner owner(3);
        owner.Reset(4);
        EXPECT_EQ(Closed, std::vector<int>{3});
        EXPECT_EQ(owner.Get(), 4);
        owner.Reset();
        EXPECT_EQ(Closed, (std::vector<int>{3, 4}));
        EXPECT_FALSE(owner);
        owner.Reset();
        owner.Reset(5);
        EXPECT_EQ(Closed, (std::vector<int>{3, 4}));
    }
    EXPECT_EQ(Closed, (std::vector<int>{3, 4, 5}));
}

TEST_F(UniqueHandleTest, ReleaseGivesTheHandleUpWithoutClosingIt)
{
    {
        TOwner owner(6);
        EXPECT_EQ(owner.Release(), 6);
        EXPECT_FALSE(owner);
        EXPECT_EQ(owner.Release(), -1);
    }
    EXPECT_TRUE(Closed.empty());
}

TEST_F(UniqueHandleTest, PutClosesTheHeldHandleAndOwnsWhatIsWrittenThere)
{
    {
        TOwner owner(1);
        int* out = owner.Put();
        EXPECT_EQ(Closed, std::vector<int>{1});
        EXPECT_EQ(*out, -1);
        *out = 2;
        EXPECT_EQ(owner.Get(), 2);
    }
    EXPECT_EQ(Closed, (std::vector<int>{1, 2}));
}

TEST_F(UniqueHandleTest, IntegerInvalidValueOfAPointerHandleIsThatPointer)
{
    {
        const TPointerOwner empty;
        EXPECT_EQ(empty.Get(), reinterpret_cast<char*>(static_cast<std::intptr_t>(-1)));
        EXPECT_FALSE(empty);
        const TPointerOwner null(nullptr);
        EXPECT_TRUE(null);
        const TPointerOwner object(&Objects[1]);
        EXPECT_TRUE(object);
    }
    EXPECT_EQ(Closed, (std::vector<int>{1, -2}));
}

// The system really closes what the owner held: the handle is no longer usable afterwards.
#ifdef _WIN32

using TEventOwner = TUniqueAny<HANDLE, &CloseHandle, nullptr>;

bool IsOpenHandle(HANDLE handle)
{
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != 0;
}

TEST_F(UniqueHandleTest, SystemHandleIsClosedWhenItsOwnerGoes)
{
    HANDLE raw = nullptr;
    {
        const TEventOwner event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ASSERT_TRUE(event);
        raw = event.Get();
        EXPECT_TRUE(IsOpenHandle(raw));
    }
    EXPECT_FALSE(IsOpenHandle(raw));
}

#else

using TDescriptor = TUniqueAny<int, &close, -1>;

bool IsOpenDescriptor(int descriptor)
{
    return fcntl(descriptor, F_GETFD) != -1;
}

TEST_F(UniqueHandleTest, SystemHandleIsClosedWhenItsOwnerGoes)
{
    int raw = -1;
    {
        const TDescriptor descriptor(open("/dev/null", O_RDONLY | O_CLOEXEC));
        ASSERT_TRUE(descriptor);
        raw = descriptor.Get();
        EXPECT_TRUE(IsOpenDescriptor(raw));
    }
    EXPECT_FALSE(IsOpenDescriptor(raw));
}

#endif

}  // namespace
