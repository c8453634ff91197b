#include "platform/FileSystem.h"

#include <windows.h>

#include "core/Exceptions.h"
#include "core/Text.h"
#include "core/UniqueHandle.h"

const std::u16string_view PathDelimiter = u"\\";

namespace {

// A handle from CreateFileW, which fails with INVALID_HANDLE_VALUE (-1), not null.
using TUniqueFileHandle = TUniqueAny<HANDLE, &CloseHandle, -1>;

const wchar_t* Native(const std::u16string& path) noexcept
{
    return reinterpret_cast<const wchar_t*>(path.c_str());
}

// The errors that mean "nothing there", as opposed to "something there we may not look at".
bool IsAbsence(DWORD error) noexcept
{
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_NOT_READY:
            return true;
        default:
            return false;
    }
}

std::size_t LastDelimiter(const std::u16string& path) noexcept
{
    return path.find_last_of(u"\\/:");
}

// Attributes of what the path names, following a symbolic link or junction to its target.
// Fails like GetFileAttributesW, with the error left in GetLastError.
DWORD TargetAttributes(const std::u16string& path)
{
    const DWORD attributes = GetFileAttributesW(Native(path));
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return attributes;
    const TUniqueFileHandle target(CreateFileW(Native(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!target)
        return INVALID_FILE_ATTRIBUTES;
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(target.Get(), &information))
        return INVALID_FILE_ATTRIBUTES;
    return information.dwFileAttributes;
}

}  // namespace

bool DirectoryExists(const std::u16string& path)
{
    if (path.empty())
        return false;
    const DWORD attributes = TargetAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return !IsAbsence(GetLastError());
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExists(const std::u16string& path)
{
    if (path.empty())
        return false;
    const DWORD attributes = TargetAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::optional<std::uint64_t> FileSizeOf(const std::u16string& path)
{
    if (path.empty())
        return std::nullopt;
    // No read or write access is asked, so no sharing mode of another handle refuses it.
    const TUniqueFileHandle file(CreateFileW(Native(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!file || !GetFileInformationByHandle(file.Get(), &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(information.nFileSizeHigh) << 32 | information.nFileSizeLow;
}

bool IsExtendedLengthPath(std::u16string_view path)
{
    return path.starts_with(u"\\\\?\\");
}

bool HasValidPathChars(std::u16string_view path)
{
    if (IsExtendedLengthPath(path))
        path.remove_prefix(4);
    for (const char16_t c : path) {
        if (c < 0x20 || c == u'<' || c == u'>' || c == u'|' || c == u'"' || c == u'?' || c == u'*')
            return false;
    }
    return true;
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
    return DeleteFileW(Native(path)) != FALSE;
}

void MoveFileNoReplace(const std::u16string& from, const std::u16string& to)
{
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists.
    if (!MoveFileW(Native(from), Native(to))) {
        const DWORD error = GetLastError();
        throw EOSError(u"MoveFileW \"" + from + u"\" to \"" + to + u"\": " + IntToStr(error), error);
    }
}
