#include "tools/corvane/ProgressStream.h"

TProgressStream::~TProgressStream()
{
    if (FShownPercent >= 0)
        std::fputc('\n', stderr);
}

std::int64_t TProgressStream::Read(void* buffer, std::int64_t count)
{
    const std::int64_t n = FInner.Read(buffer, count);
    if (FTotal > 0) {
        const std::int64_t done = FInner.Seek(0, TSeekOrigin::Current);
        const int percent = static_cast<int>(done * 100 / FTotal);
        if (percent != FShownPercent) {
            FShownPercent = percent;
            std::fprintf(stderr, "\r%3d%%", percent);
            std::fflush(stderr);
        }
    }
    return n;
}
