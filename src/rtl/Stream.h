#pragma once
#include <cstdint>

#include "core/Exceptions.h"
#include "platform/SeekOrigin.h"

// A stream error that is not the operating system's: a short write, a read past the end.
class EStreamError : public Exception {
public:
    using Exception::Exception;
};

// A seekable byte stream. Reading and writing start at the current position.
class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to count bytes; returns how many were read (0 at the end). Raises what the
    // medium raises (EOSError for a file).
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    // Writes up to count bytes; returns how many were written (fewer when the medium refuses).
    // Raises what the medium raises (EOSError for a file).
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    // Moves the position and returns the new one. Memory streams never fail; a file raises
    // EOSError for a position before its start and keeps its position.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
    // Cuts or extends the stream. Raises EOSError (file) or std::bad_alloc (memory).
    virtual void SetSize(std::int64_t newSize) = 0;
    // The size in bytes; streams that cannot tell report -1.
    virtual std::int64_t Size();

    std::int64_t Position() { return Seek(0, TSeekOrigin::Current); }
    void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::Beginning); }

    // Writes all count bytes or raises EStreamError.
    void WriteBuffer(const void* buffer, std::int64_t count);
    // Reads exactly count bytes or raises EStreamError.
    void ReadBuffer(void* buffer, std::int64_t count);
    // Copies everything from the source's current position to its end; returns the count.
    // Raises EStreamError when this stream takes fewer bytes than offered, and what either
    // medium raises.
    std::int64_t CopyFrom(TStream& source);

protected:
    TStream() = default;
    TStream(const TStream&) = default;
    TStream& operator=(const TStream&) = default;
};
