#include "rtl/Stream.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "core/Bytes.h"

std::int64_t TStream::Size()
{
    const std::int64_t position = Seek(0, TSeekOrigin::Current);
    const std::int64_t size = Seek(0, TSeekOrigin::End);
    Seek(position, TSeekOrigin::Beginning);
    return size;
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count)
{
    if (count > 0 && Write(buffer, count) != count)
        throw EStreamError(u"Stream write error");
}

void TStream::ReadBuffer(void* buffer, std::int64_t count)
{
    if (count > 0 && Read(buffer, count) != count)
        throw EStreamError(u"Stream read error");
}

std::int64_t TStream::CopyFrom(TStream& source)
{
    // The bytes may be plaintext, so the bounce buffer is a wiping one. It starts at 4 KiB and
    // doubles, up to 64 KiB, each time a read fills it: a short copy does not pay for allocating,
    // zero-filling and wiping a large buffer.
    constexpr std::size_t firstChunk = 4096;
    constexpr std::size_t largestChunk = 65536;
    TSecureBytes buffer(firstChunk);
    std::int64_t total = 0;
    for (;;) {
        const auto chunk = static_cast<std::int64_t>(buffer.size());
        const std::int64_t n = source.Read(buffer.data(), chunk);
        if (n <= 0)
            break;
        WriteBuffer(buffer.data(), n);
        total += n;
        if (n == chunk && buffer.size() < largestChunk)
            buffer = TSecureBytes(std::min(buffer.size() * 2, largestChunk));
    }
    return total;
}
