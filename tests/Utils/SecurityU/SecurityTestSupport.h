#pragma once
// Shared pieces of the provider-layer tests: streams over byte arrays, a stream that delivers
// little per read, and a fixture that starts every test from an empty provider cache.

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>

#include <gtest/gtest.h>

#include "Utils/Util.SecurityU.h"
#include "rtl/MemoryStream.h"
#include "support/TestSupport.h"

#ifndef _WIN32
#include "platform/posix/BcryptTesting.h"
#endif

namespace SecurityTests {

inline TMemoryStream StreamOf(std::span<const std::uint8_t> bytes)
{
    TMemoryStream stream;
    if (!bytes.empty())
        stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    stream.SetPosition(0);
    return stream;
}

inline TBytes BytesOf(const TMemoryStream& stream)
{
    return TBytes(stream.Bytes().begin(), stream.Bytes().end());
}

inline TBytes BytesOf(std::string_view text)
{
    return TBytes(text.begin(), text.end());
}

// A source that hands out at most FPiece bytes per read, like a pipe or a socket would.
class TTrickleStream : public TStream {
public:
    TTrickleStream(std::span<const std::uint8_t> bytes, std::int64_t piece) : FInner(StreamOf(bytes)), FPiece(piece) {}

    std::int64_t Read(void* buffer, std::int64_t count) override
    {
        ++FReads;
        return FInner.Read(buffer, std::min(count, FPiece));
    }
    std::int64_t Write(const void* buffer, std::int64_t count) override { return FInner.Write(buffer, count); }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override { return FInner.Seek(offset, origin); }
    void SetSize(std::int64_t newSize) override { FInner.SetSize(newSize); }
    std::int64_t Size() override { return -1; }

    int Reads() const noexcept { return FReads; }

private:
    TMemoryStream FInner;
    std::int64_t FPiece;
    int FReads = 0;
};

// Deterministic filler so a failing case can be reproduced byte for byte.
inline TBytes PatternBytes(std::size_t size, std::uint8_t seed = 1)
{
    TBytes bytes(size);
    std::uint32_t state = seed;
    for (auto& byte : bytes) {
        state = state * 1103515245U + 12345U;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    return bytes;
}

// Every test starts with no cached provider and, on POSIX, with fresh counters and no planned
// failures.
class TProviderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CloseAlgorithmHandles();
#ifndef _WIN32
        BcryptTesting::ClearFailures();
        BcryptTesting::ResetCounters();
#endif
    }
    void TearDown() override
    {
#ifndef _WIN32
        BcryptTesting::ClearFailures();
#endif
    }
};

// The message of an exception of type E raised by action; fails the test when none is raised.
template <typename E, typename TAction>
std::string MessageOf(TAction&& action)
{
    try {
        action();
    } catch (const E& error) {
        return TestSupport::U8(error.Message());
    }
    ADD_FAILURE() << "no exception of the expected kind";
    return {};
}

}  // namespace SecurityTests
