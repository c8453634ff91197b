#include "rtl/MemoryStream.h"

#include <algorithm>
#include <cstring>
#include <limits>

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count)
{
    // A position before the data (a negative seek) delivers nothing, as one past its end does.
    const std::int64_t size = Size();
    if (count <= 0 || FPosition < 0 || FPosition >= size)
        return 0;
    const std::int64_t n = std::min(count, size - FPosition);
    std::memcpy(buffer, FData.data() + FPosition, static_cast<std::size_t>(n));
    FPosition += n;
    return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count)
{
    if (count <= 0 || FPosition < 0 || count > std::numeric_limits<std::int64_t>::max() - FPosition)
        return 0;
    const std::int64_t end = FPosition + count;
    if (end > Size()) {
        // Grow geometrically so a run of chunk writes costs amortised linear time.
        if (static_cast<std::size_t>(end) > FData.capacity())
            FData.reserve(std::max<std::size_t>(static_cast<std::size_t>(end), FData.capacity() * 2));
        FData.resize(static_cast<std::size_t>(end));
    }
    std::memcpy(FData.data() + FPosition, buffer, static_cast<std::size_t>(count));
    FPosition = end;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    switch (origin) {
        case TSeekOrigin::Beginning:
            FPosition = offset;
            break;
        case TSeekOrigin::Current:
            FPosition += offset;
            break;
        case TSeekOrigin::End:
            FPosition = Size() + offset;
            break;
    }
    return FPosition;
}

void TMemoryStream::SetSize(std::int64_t newSize)
{
    FData.resize(static_cast<std::size_t>(std::max<std::int64_t>(newSize, 0)));
    FPosition = std::min(FPosition, Size());
}

void TMemoryStream::Clear()
{
    FData.clear();
    FData.shrink_to_fit();
    FPosition = 0;
}
