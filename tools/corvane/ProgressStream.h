#pragma once
#include <cstdint>
#include <cstdio>

#include "rtl/Stream.h"

// Reads through another stream and shows on standard error how much of it has been read.
// Only for people: it is used when standard error is a terminal. Fails as the inner stream
// does; writing the progress never fails.
class TProgressStream : public TStream {
public:
    TProgressStream(TStream& inner, std::int64_t total) : FInner(inner), FTotal(total) {}
    ~TProgressStream() override;

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override { return FInner.Write(buffer, count); }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override { return FInner.Seek(offset, origin); }
    void SetSize(std::int64_t newSize) override { FInner.SetSize(newSize); }
    std::int64_t Size() override { return FInner.Size(); }

private:
    TStream& FInner;
    std::int64_t FTotal;
    int FShownPercent = -1;
};
