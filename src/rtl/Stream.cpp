#include "rtl/Stream.h"

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
    // The bytes may be plaintext, so the bounce buffer is a wiping one.
    constexpr std::int64_t chunk = 65536;
    TSecureBytes buffer(chunk);
    std::int64_t total = 0;
    for (;;) {
        const std::int64_t n = source.Read(buffer.data(), chunk);
        if (n <= 0)
            break;
        WriteBuffer(buffer.data(), n);
        total += n;
    }
    return total;
}
