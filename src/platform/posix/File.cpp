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
    case TFile::TOpen::ReadShared: return O_RDONLY;
    case TFile::TOpen::CreateExclusive: return O_RDWR | O_CREAT;
    case TFile::TOpen::ReadWriteExclusive: return O_RDWR;
    case TFile::TOpen::AppendReadShared: return O_RDWR;
    case TFile::TOpen::OpenOrCreateExclusive: return O_RDWR | O_CREAT;
    }
    return O_RDONLY;
}

// Windows lets readers in beside a writer only when both ask for it; on one lock that is a shared
// lock for readers and an exclusive one for writers.
int LockKind(TFile::TOpen mode) noexcept
{
    return mode == TFile::TOpen::ReadShared ? LOCK_SH : LOCK_EX;
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

}  // namespace

bool IsHeldByAnother(const EOSError& error) noexcept
{
    return error.ErrorCode == EWOULDBLOCK || error.ErrorCode == EAGAIN;
}

TFile::TFile(const std::u16string& path, TOpen mode)
{
    const std::string nativePath = ToUtf8Lossy(path);
    int fd;
    do
        fd = ::open(nativePath.c_str(), OpenFlags(mode) | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        RaiseErrno(u"open", path, errno);
    // Owned from here: a failure below closes the descriptor as the exception leaves.
    FHandle.Reset(fd);

    if (::flock(fd, LockKind(mode) | LOCK_NB) != 0) {
        const int error = errno;
        // File systems without advisory locks cannot exclude anyone; only a held lock refuses.
        if (error == EWOULDBLOCK || error == EINTR)
            RaiseErrno(u"flock", path, error);
    }
    // Truncated only once the lock is ours: a file that another writer holds is never wiped.
    if (mode == TOpen::CreateExclusive && ::ftruncate(fd, 0) != 0)
        RaiseErrno(u"ftruncate", path, errno);
    struct stat status{};
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
    struct stat status{};
    if (::fstat(Descriptor(FHandle.Get()), &status) != 0)
        RaiseErrno(u"fstat", {}, errno);
    return status.st_size;
}

void TFile::SetSize(std::int64_t size)
{
    if (::ftruncate(Descriptor(FHandle.Get()), static_cast<off_t>(size)) != 0)
        RaiseErrno(u"ftruncate", {}, errno);
}

void TFile::Flush()
{
    if (::fsync(Descriptor(FHandle.Get())) != 0 && errno != EINVAL && errno != EROFS)
        RaiseErrno(u"fsync", {}, errno);
}
