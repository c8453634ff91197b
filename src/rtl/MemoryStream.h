#pragma once
#include <cstdint>

#include "core/Bytes.h"
#include "rtl/Stream.h"

// A stream that holds its bytes in memory. The memory may hold plaintext, so it is wiped
// whenever it is released or reallocated.
// Nothing here fails but memory: a read or write outside 0 .. 2^63 - 1 moves no byte and
// returns 0, and growth may raise std::bad_alloc.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    void SetSize(std::int64_t newSize) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(FData.size()); }

    void Clear();
    const std::uint8_t* Memory() const noexcept { return FData.data(); }
    std::uint8_t* Memory() noexcept { return FData.data(); }
    const TSecureBytes& Bytes() const noexcept { return FData; }

private:
    TSecureBytes FData;
    std::int64_t FPosition = 0;
};
