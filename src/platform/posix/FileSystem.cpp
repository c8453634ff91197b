#include "platform/FileSystem.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/Exceptions.h"
#include "core/Text.h"

const std::u16string_view PathDelimiter = u"/";

namespace {

std::string Native(const std::u16string& path)
{
    return ToUtf8Lossy(path);
}

// The errors that mean "nothing there", as opposed to "something there we may not look at".
bool IsAbsence(int error) noexcept
{
    return error == ENOENT || error == ENOTDIR || error == ENAMETOOLONG || error == ELOOP;
}

std::size_t LastDelimiter(const std::u16string& path) noexcept
{
    return path.find_last_of(u'/');
}

[[noreturn]] void RaiseMoveError(const std::u16string& from, const std::u16string& to, int error)
{
    throw EOSError(u"rename \"" + from + u"\" to \"" + to + u"\": " + FromUtf8Lossy(std::strerror(error)) + u" (" +
                       IntToStr(error) + u")",
                   static_cast<std::uint32_t>(error));
}

}  // namespace

bool DirectoryExists(const std::u16string& path)
{
    if (path.empty())
        return false;
    struct stat status {};
    if (::stat(Native(path).c_str(), &status) == 0)
        return S_ISDIR(status.st_mode);
    return !IsAbsence(errno);
}

bool FileExists(const std::u16string& path)
{
    if (path.empty())
        return false;
    struct stat status {};
    return ::stat(Native(path).c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

std::optional<std::uint64_t> FileSizeOf(const std::u16string& path)
{
    struct stat status {};
    if (path.empty() || ::stat(Native(path).c_str(), &status) != 0 || S_ISDIR(status.st_mode))
        return std::nullopt;
    return static_cast<std::uint64_t>(status.st_size);
}

bool HasValidPathChars(std::u16string_view path)
{
    return path.find(u'\0') == std::u16string_view::npos;
}

bool IsExtendedLengthPath(std::u16string_view)
{
    return false;
}

std::u16string ExtractFilePath(const std::u16string& path)
{
    const std::size_t last = LastDelimiter(path);
    return last == std::u16string::npos ? std::u16string() : path.substr(0, last + 1);
}

std::u16string ExtractFileName(const std::u16string& path)
{
    const std::size_t last = LastDelimiter(path);
    return last == std::u16string::npos ? path : path.substr(last + 1);
}

bool DeleteFileAt(const std::u16string& path)
{
    return ::unlink(Native(path).c_str()) == 0;
}

void MoveFileNoReplace(const std::u16string& from, const std::u16string& to)
{
    const std::string nativeFrom = Native(from);
    const std::string nativeTo = Native(to);
    if (::renameat2(AT_FDCWD, nativeFrom.c_str(), AT_FDCWD, nativeTo.c_str(), RENAME_NOREPLACE) == 0)
        return;
    const int error = errno;
    // File systems that cannot rename without replacing still refuse a second name that exists.
    if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP)
        RaiseMoveError(from, to, error);
    if (::link(nativeFrom.c_str(), nativeTo.c_str()) != 0)
        RaiseMoveError(from, to, errno);
    if (::unlink(nativeFrom.c_str()) != 0) {
        const int unlinkError = errno;
        ::unlink(nativeTo.c_str());
        RaiseMoveError(from, to, unlinkError);
    }
}
