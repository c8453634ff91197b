#pragma once
#include <cstdint>
#include <string>

// An open file, closed when its owner goes. Failures raise EOSError with the platform's error
// code (GetLastError, errno).
class TFile {
public:
    enum class TOpen {
        ReadShared,         // existing file, read only, others may read
        CreateExclusive,    // create or truncate, read and write, no sharing
        ReadWriteExclusive, // existing file, read and write, no sharing
        AppendReadShared,   // existing file, read and write, others may only read
    };

    TFile() noexcept = default;
    TFile(const std::u16string& path, TOpen mode);
    TFile(TFile&& other) noexcept;
    TFile& operator=(TFile&& other) noexcept;
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;
    ~TFile();

    bool IsOpen() const noexcept;
    void Close() noexcept;

    std::int64_t Read(void* buffer, std::int64_t count);
    std::int64_t Write(const void* buffer, std::int64_t count);
    // origin: 0 beginning, 1 current, 2 end. Returns the new position.
    std::int64_t Seek(std::int64_t offset, int origin);
    std::int64_t Size();
    void SetSize(std::int64_t size);
    void Flush();

private:
#ifdef _WIN32
    void* FHandle = reinterpret_cast<void*>(static_cast<std::intptr_t>(-1));
#else
    int FHandle = -1;
#endif
};
