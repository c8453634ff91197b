#include "platform/File.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "core/Exceptions.h"
#include "core/Text.h"
#include "platform/FileSystem.h"

namespace {

[[noreturn]] void RaiseErrno(const char16_t* operation, const std::u16string& path, int error)
{
    std::u16string message = operation;
    if (!path.empty())
        message += u" \"" + path + u"\"";
    message += u": " + FromUtf8Lossy(std::strerror(error)) + u" (" + IntToStr(error) + u")";
    throw EOSError(std::move(message), static_cast<std::uint32_t>(error));
}

int OpenFlags(TFile::TOpen mode) noexcept
{
    switch (mode) {
        case TFile::TOpen::ReadShared:
            return O_RDONLY;
        case TFile::TOpen::CreateExclusive:
            return O_RDWR | O_CREAT;
        case TFile::TOpen::ReadWriteExclusive:
            return O_RDWR;
        case TFile::TOpen::AppendReadShared:
            return O_RDWR;
        case TFile::TOpen::OpenOrCreateExclusive:
            return O_RDWR | O_CREAT;
        // Never through a symbolic link, and never waiting on a FIFO or device for a peer. A new
        // log is made by OpenLog itself (CreateLog).
        case TFile::TOpen::LogAppend:
            return O_RDWR | O_NOFOLLOW | O_NONBLOCK;
        case TFile::TOpen::LogRotate:
            return O_RDWR | O_NOFOLLOW | O_NONBLOCK;
        case TFile::TOpen::LogRead:
            return O_RDONLY | O_NONBLOCK;
    }
    return O_RDONLY;
}

// Windows lets readers in beside a writer only when both ask for it; on one lock that is a shared
// lock for readers and an exclusive one for writers.
int LockKind(TFile::TOpen mode) noexcept
{
    return mode == TFile::TOpen::ReadShared || mode == TFile::TOpen::LogRead ? LOCK_SH : LOCK_EX;
}

// What a name holds when it is no regular file, in words for the reader's message.
const char16_t* KindOf(mode_t mode) noexcept
{
    if (S_ISDIR(mode))
        return u"a directory";
    if (S_ISFIFO(mode))
        return u"a FIFO";
    if (S_ISCHR(mode))
        return u"a character device";
    if (S_ISBLK(mode))
        return u"a block device";
    if (S_ISSOCK(mode))
        return u"a socket";
    if (S_ISLNK(mode))
        return u"a symbolic link";
    return u"no regular file";
}

int WhenceOf(TSeekOrigin origin) noexcept
{
    switch (origin) {
        case TSeekOrigin::Beginning:
            return SEEK_SET;
        case TSeekOrigin::Current:
            return SEEK_CUR;
        case TSeekOrigin::End:
            return SEEK_END;
    }
    return SEEK_SET;
}

int Descriptor(std::intptr_t handle) noexcept
{
    return static_cast<int>(handle);
}

bool IsLogMode(TFile::TOpen mode) noexcept
{
    return mode == TFile::TOpen::LogAppend || mode == TFile::TOpen::LogRotate;
}

// A log whose name keeps being moved away between its open and its lock is, to the caller, one
// that others hold: it is tried again later.
constexpr int LogOpenAttempts = 8;

// A new log lets the folder's group append and rotate: on a shared machine the log folder is a
// setgid folder of the users' group, so every user's record goes into the same log.
constexpr mode_t LogFileMode = 0660;

struct stat StatusOf(int fd, const std::u16string& path)
{
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        RaiseErrno(u"fstat", path, errno);
    return status;
}

bool IsSameFile(const struct stat& a, const struct stat& b) noexcept
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether the name, not followed, holds the open file now.
bool NamesFile(const std::string& nativePath, const struct stat& held) noexcept
{
    struct stat named {};
    return ::lstat(nativePath.c_str(), &named) == 0 && IsSameFile(named, held);
}

// Takes the lock the mode asks for; a file system without advisory locks excludes nobody, so only
// a held lock refuses.
void Lock(int fd, TFile::TOpen mode, const std::u16string& path)
{
    if (::flock(fd, LockKind(mode) | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK || error == EINTR)
            RaiseErrno(u"flock", path, error);
    }
}

int OpenDescriptor(const std::string& nativePath, TFile::TOpen mode, const std::u16string& path)
{
    int fd;
    do
        fd = ::open(nativePath.c_str(), OpenFlags(mode) | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        RaiseErrno(u"open", path, errno);
    return fd;
}

// Makes a new log with LogFileMode, or -1 when a name is already there. O_EXCL never follows a
// link at the name, and tells that this call made the file, so only a log of its own gets its mode
// set: the creator's umask would otherwise decide whether the next user can append.
int CreateLog(const std::string& nativePath, const std::u16string& path)
{
    int fd;
    do
        fd = ::open(nativePath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, LogFileMode);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == EEXIST)
            return -1;
        RaiseErrno(u"open", path, errno);
    }
    if (::fchmod(fd, LogFileMode) != 0) {
        const int error = errno;
        ::close(fd);
        RaiseErrno(u"fchmod", path, error);
    }
    return fd;
}

// The log at the name, made when there is none. One that is removed between the two tries is
// looked for again, a few times, like one moved away while its lock was awaited.
int OpenOrCreateLog(const std::string& nativePath, TFile::TOpen mode, const std::u16string& path)
{
    if (mode != TFile::TOpen::LogAppend)
        return OpenDescriptor(nativePath, mode, path);
    for (int attempt = 1;; ++attempt) {
        const int created = CreateLog(nativePath, path);
        if (created >= 0)
            return created;
        try {
            return OpenDescriptor(nativePath, mode, path);
        } catch (const EOSError& e) {
            if (!IsFileNotFound(e))
                throw;
            if (attempt == LogOpenAttempts)
                RaiseErrno(u"open (removed while opening)", path, EWOULDBLOCK);
        }
    }
}

// The log modes: the file is checked before anything is written to it, and after the lock is taken
// it must still be the file at the name, because a writer that rotated the log while this one
// waited has moved it to the old name, where a record would be lost with the next rotation.
int OpenLog(const std::u16string& path, TFile::TOpen mode, const std::function<void()>& beforeLock)
{
    using TDescriptor = TUniqueAny<int, &::close, -1>;
    const std::string nativePath = ToUtf8Lossy(path);
    for (int attempt = 1;; ++attempt) {
        TDescriptor fd(OpenOrCreateLog(nativePath, mode, path));
        if (!S_ISREG(StatusOf(fd.Get(), path).st_mode))
            RaiseErrno(u"open (not a regular file)", path, EINVAL);
        if (beforeLock)
            beforeLock();
        Lock(fd.Get(), mode, path);
        const struct stat status = StatusOf(fd.Get(), path);
        if (NamesFile(nativePath, status)) {
            // Another link could be a name for a file of the caller's that someone else chose.
            if (status.st_nlink != 1)
                RaiseErrno(u"open (more than one link)", path, EMLINK);
            return fd.Release();
        }
        if (attempt == LogOpenAttempts)
            RaiseErrno(u"open (moved while opening)", path, EWOULDBLOCK);
    }
}

}  // namespace

bool IsHeldByAnother(const EOSError& error) noexcept
{
    return error.ErrorCode == EWOULDBLOCK || error.ErrorCode == EAGAIN;
}

bool IsFileNotFound(const EOSError& error) noexcept
{
    return error.ErrorCode == ENOENT;
}

TFile::TFile(const std::u16string& path, TOpen mode, const std::function<void()>& beforeLock)
{
    if (IsLogMode(mode)) {
        FHandle.Reset(OpenLog(path, mode, beforeLock));
        return;
    }
    const int fd = OpenDescriptor(ToUtf8Lossy(path), mode, path);
    // Owned from here: a failure below closes the descriptor as the exception leaves.
    FHandle.Reset(fd);
    if (mode == TOpen::LogRead) {
        // Looked at before the lock: flock on a device could mean anything.
        const struct stat status = StatusOf(fd, path);
        if (!S_ISREG(status.st_mode))
            throw EOSError(u"open \"" + path + u"\": " + KindOf(status.st_mode) + u", not a regular file",
                           static_cast<std::uint32_t>(S_ISDIR(status.st_mode) ? EISDIR : EINVAL));
    }

    Lock(fd, mode, path);
    // Truncated only once the lock is ours: a file that another writer holds is never wiped.
    if (mode == TOpen::CreateExclusive && ::ftruncate(fd, 0) != 0)
        RaiseErrno(u"ftruncate", path, errno);
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode))
        RaiseErrno(u"open", path, EISDIR);
}

TFile::TSystemFile::THandle TFile::TSystemFile::Invalid() noexcept
{
    return -1;
}

void TFile::TSystemFile::Close(THandle handle) noexcept
{
    ::close(Descriptor(handle));
}

bool TFile::IsOpen() const noexcept
{
    return FHandle.IsValid();
}

void TFile::Close() noexcept
{
    FHandle.Reset();
}

std::int64_t TFile::Read(void* buffer, std::int64_t count)
{
    if (count <= 0)
        return 0;
    ssize_t n;
    do
        n = ::read(Descriptor(FHandle.Get()), buffer, static_cast<std::size_t>(count));
    while (n < 0 && errno == EINTR);
    if (n < 0)
        RaiseErrno(u"read", {}, errno);
    return n;
}

std::int64_t TFile::Write(const void* buffer, std::int64_t count)
{
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    std::int64_t written = 0;
    while (written < count) {
        const ssize_t n =
            ::write(Descriptor(FHandle.Get()), bytes + written, static_cast<std::size_t>(count - written));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            RaiseErrno(u"write", {}, errno);
        }
        if (n == 0)
            break;
        written += n;
    }
    return written;
}

std::int64_t TFile::Seek(std::int64_t offset, TSeekOrigin origin)
{
    const off_t position = ::lseek(Descriptor(FHandle.Get()), static_cast<off_t>(offset), WhenceOf(origin));
    if (position < 0)
        RaiseErrno(u"lseek", {}, errno);
    return position;
}

std::int64_t TFile::Size()
{
    struct stat status {};
    if (::fstat(Descriptor(FHandle.Get()), &status) != 0)
        RaiseErrno(u"fstat", {}, errno);
    return status.st_size;
}

void TFile::SetSize(std::int64_t size)
{
    if (::ftruncate(Descriptor(FHandle.Get()), static_cast<off_t>(size)) != 0)
        RaiseErrno(u"ftruncate", {}, errno);
}

bool TFile::IsAt(const std::u16string& path)
{
    return NamesFile(ToUtf8Lossy(path), StatusOf(Descriptor(FHandle.Get()), path));
}

bool TFile::MoveNoReplace(const std::u16string& from, const std::u16string& to)
{
    // The lock taken at the open is still held, so no writer of the log can move it in between.
    if (!IsAt(from))
        return false;
    MoveFileNoReplace(from, to);
    return true;
}

void TFile::Flush()
{
    if (::fsync(Descriptor(FHandle.Get())) != 0 && errno != EINVAL && errno != EROFS)
        RaiseErrno(u"fsync", {}, errno);
}
