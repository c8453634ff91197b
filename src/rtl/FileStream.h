#pragma once
#include <cstdint>
#include <string>

#include "platform/File.h"
#include "rtl/Stream.h"

// A stream over a file, for data too large to hold in memory. Failures of the file system
// raise EOSError with the platform's error code.
class TFileStream : public TStream {
public:
    enum class TMode { OpenRead, Create };

    // Raises EOSError when the file cannot be opened (OpenRead) or created (Create).
    TFileStream(const std::u16string& path, TMode mode);

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    void SetSize(std::int64_t newSize) override;

    // Writes what the platform still buffers to the storage device.
    void Flush();

private:
    TFile FFile;
};
