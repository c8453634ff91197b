#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "core/UniqueHandle.h"
#include "platform/SeekOrigin.h"

// An open file, closed when its owner goes. Failures raise EOSError with the platform's error
// code (GetLastError, errno).
//
// Sharing follows Windows. On POSIX a non-blocking advisory lock (flock) stands in for it: shared
// for ReadShared, exclusive for every mode that lets nobody else write. A file held against the
// requested mode fails at once (EWOULDBLOCK), as Windows fails with a sharing violation.
class EOSError;

// True when the failure is a file held by someone else against the requested access: a sharing
// or lock violation on Windows, a held lock (EWOULDBLOCK) on POSIX.
bool IsHeldByAnother(const EOSError& error) noexcept;
// True when the failure is a file that is not there (another may have just moved it away).
bool IsFileNotFound(const EOSError& error) noexcept;

class TFile {
public:
    enum class TOpen {
        ReadShared,             // existing file, read only, others may read
        CreateExclusive,        // create or truncate, read and write, no sharing
        ReadWriteExclusive,     // existing file, read and write, no sharing
        AppendReadShared,       // existing file, read and write, others may only read
        OpenOrCreateExclusive,  // existing file, or a new one when absent, never truncated;
                                // read and write, no sharing
        // The two modes of a log in a folder that other users can write to. Neither follows a
        // symbolic link or other reparse point at the name, blocks on what it finds there, or
        // accepts anything but a regular file with a single link: another user could otherwise
        // point the name at a file of the caller's, or at a FIFO nobody ever reads. On POSIX the
        // file is also the one that the name holds once the lock is taken, not one moved away
        // while the lock was awaited.
        LogAppend,  // existing log, or a new one when absent, never truncated; read and write,
                    // others may only read. On POSIX a new one gets mode 0660 whatever the umask.
        LogRotate,  // existing log; read, write and MoveNoReplace; no sharing
        // A log to be read, at a path the reader chose (links are followed): existing file, read
        // only, others may read, as ReadShared. Never blocks on what it finds at the name, and
        // refuses anything but a regular file, saying what it found (a FIFO, a device, a pipe, a
        // directory): a reader must not hang on a FIFO that someone put at a log's name.
        LogRead,
    };

    TFile() noexcept = default;
    // Raises EOSError when the file cannot be opened in that mode (IsHeldByAnother tells a held one).
    // For the log modes, beforeLock runs once the file is open and before it is locked (on
    // Windows, where sharing holds from the open, just after it): the window in which another
    // writer may move the file, which tests use to do so.
    TFile(const std::u16string& path, TOpen mode, const std::function<void()>& beforeLock = {});
    TFile(TFile&& other) noexcept = default;
    TFile& operator=(TFile&& other) noexcept = default;
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;
    ~TFile() = default;

    bool IsOpen() const noexcept;
    // Closes the file now; a close the system refuses is not reported.
    void Close() noexcept;

    // Every operation below raises EOSError when the system refuses it.

    std::int64_t Read(void* buffer, std::int64_t count);
    // Writes all count bytes unless the device refuses; returns how many were written.
    std::int64_t Write(const void* buffer, std::int64_t count);
    // Returns the new position.
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin);
    std::int64_t Size();
    // Cuts or extends the file; the position stays where it was.
    void SetSize(std::int64_t size);
    void Flush();

    // Whether path, not followed through a link, still names this open file. Always so on Windows,
    // where no handle of this class shares delete access, so nobody can move the name while it is
    // open; on POSIX the device and inode of both are compared.
    bool IsAt(const std::u16string& path);
    // Renames this file, opened as LogRotate from the path from, to the path to, never replacing
    // a file there. Only the file this handle holds is moved: false, and nothing moved, when
    // from no longer names it (POSIX compares device and inode under the lock; Windows renames
    // through the handle itself, which nobody else can have open). Raises EOSError when the move
    // is refused, a file at to included.
    [[nodiscard]] bool MoveNoReplace(const std::u16string& from, const std::u16string& to);

private:
    // The system's file handle, wide enough for either platform's. Its invalid value and its
    // closing belong to each platform's File.cpp.
    struct TSystemFile {
        using THandle = std::intptr_t;
        static THandle Invalid() noexcept;
        static void Close(THandle handle) noexcept;
    };

    TUniqueHandle<TSystemFile> FHandle;
};
