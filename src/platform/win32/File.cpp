#include "platform/File.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "core/Exceptions.h"
#include "core/Text.h"
#include "platform/win32/LogAccess.h"

namespace {

[[noreturn]] void RaiseLastError(const char16_t* operation, const std::u16string& path)
{
    const DWORD error = GetLastError();
    std::u16string message = operation;
    if (!path.empty())
        message += u" \"" + path + u"\"";
    message += u": " + IntToStr(error);
    throw EOSError(std::move(message), error);
}

struct TOpenParameters {
    DWORD Access;
    DWORD Share;
    DWORD Disposition;
};

TOpenParameters OpenParametersOf(TFile::TOpen mode) noexcept
{
    switch (mode) {
        case TFile::TOpen::ReadShared:
            return {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING};
        case TFile::TOpen::CreateExclusive:
            return {GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS};
        case TFile::TOpen::ReadWriteExclusive:
            return {GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING};
        case TFile::TOpen::AppendReadShared:
            return {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING};
        case TFile::TOpen::OpenOrCreateExclusive:
            return {GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS};
        case TFile::TOpen::LogAppend:
            return {LogAppendAccess, FILE_SHARE_READ, OPEN_ALWAYS};
        case TFile::TOpen::LogRotate:
            return {LogRotateAccess, 0, OPEN_EXISTING};
        case TFile::TOpen::LogRead:
            return {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING};
    }
    return {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING};
}

HANDLE AsHandle(std::intptr_t handle) noexcept
{
    return reinterpret_cast<HANDLE>(handle);
}

DWORD MoveMethodOf(TSeekOrigin origin) noexcept
{
    switch (origin) {
        case TSeekOrigin::Beginning:
            return FILE_BEGIN;
        case TSeekOrigin::Current:
            return FILE_CURRENT;
        case TSeekOrigin::End:
            return FILE_END;
    }
    return FILE_BEGIN;
}

bool IsLogMode(TFile::TOpen mode) noexcept
{
    return mode == TFile::TOpen::LogAppend || mode == TFile::TOpen::LogRotate;
}

[[noreturn]] void RaiseRefused(const char16_t* reason, const std::u16string& path, DWORD error)
{
    throw EOSError(u"CreateFileW \"" + path + u"\": " + reason, error);
}

// A log is written only when the name holds a plain file of its own: not a reparse point (a
// symbolic link or junction, opened as itself), not a device or pipe, not one of several links.
void CheckLogFile(HANDLE handle, const std::u16string& path)
{
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle, &information))
        RaiseLastError(u"GetFileInformationByHandle", path);
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        RaiseRefused(u"a reparse point", path, ERROR_CANT_ACCESS_FILE);
    if (GetFileType(handle) != FILE_TYPE_DISK || (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        RaiseRefused(u"not a regular file", path, ERROR_BAD_FILE_TYPE);
    if (information.nNumberOfLinks != 1)
        RaiseRefused(u"more than one link", path, ERROR_TOO_MANY_LINKS);
}

// A log is read only from a file on disk: a pipe or a console at the name could keep a reader
// waiting for ever.
void CheckReadLogFile(HANDLE handle, const std::u16string& path)
{
    const DWORD type = GetFileType(handle);
    BY_HANDLE_FILE_INFORMATION information{};
    if (type == FILE_TYPE_DISK && !GetFileInformationByHandle(handle, &information))
        RaiseLastError(u"GetFileInformationByHandle", path);
    if (type == FILE_TYPE_PIPE)
        RaiseRefused(u"a pipe, not a regular file", path, ERROR_BAD_FILE_TYPE);
    if (type == FILE_TYPE_CHAR)
        RaiseRefused(u"a character device, not a regular file", path, ERROR_BAD_FILE_TYPE);
    if (type != FILE_TYPE_DISK)
        RaiseRefused(u"no regular file", path, ERROR_BAD_FILE_TYPE);
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        RaiseRefused(u"a directory, not a regular file", path, ERROR_BAD_FILE_TYPE);
}

}  // namespace

bool IsHeldByAnother(const EOSError& error) noexcept
{
    return error.ErrorCode == ERROR_SHARING_VIOLATION || error.ErrorCode == ERROR_LOCK_VIOLATION;
}

bool IsFileNotFound(const EOSError& error) noexcept
{
    return error.ErrorCode == ERROR_FILE_NOT_FOUND;
}

TFile::TFile(const std::u16string& path, TOpen mode, const std::function<void()>& beforeLock)
{
    const TOpenParameters parameters = OpenParametersOf(mode);
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | (IsLogMode(mode) ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    const HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), parameters.Access,
                                      parameters.Share, nullptr, parameters.Disposition, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        RaiseLastError(u"CreateFileW", path);
    FHandle.Reset(reinterpret_cast<std::intptr_t>(handle));
    if (mode == TOpen::LogRead)
        CheckReadLogFile(handle, path);
    if (IsLogMode(mode)) {
        CheckLogFile(handle, path);
        if (beforeLock)
            beforeLock();
    }
}

TFile::TSystemFile::THandle TFile::TSystemFile::Invalid() noexcept
{
    return reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
}

void TFile::TSystemFile::Close(THandle handle) noexcept
{
    CloseHandle(AsHandle(handle));
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
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::int64_t total = 0;
    while (total < count) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::int64_t>(count - total, 0x40000000));
        DWORD n = 0;
        if (!ReadFile(AsHandle(FHandle.Get()), bytes + total, chunk, &n, nullptr))
            RaiseLastError(u"ReadFile", {});
        total += n;
        if (n < chunk)
            break;
    }
    return total;
}

std::int64_t TFile::Write(const void* buffer, std::int64_t count)
{
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    std::int64_t total = 0;
    while (total < count) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::int64_t>(count - total, 0x40000000));
        DWORD n = 0;
        if (!WriteFile(AsHandle(FHandle.Get()), bytes + total, chunk, &n, nullptr))
            RaiseLastError(u"WriteFile", {});
        if (n == 0)
            break;
        total += n;
    }
    return total;
}

std::int64_t TFile::Seek(std::int64_t offset, TSeekOrigin origin)
{
    LARGE_INTEGER distance{};
    distance.QuadPart = offset;
    LARGE_INTEGER position{};
    if (!SetFilePointerEx(AsHandle(FHandle.Get()), distance, &position, MoveMethodOf(origin)))
        RaiseLastError(u"SetFilePointerEx", {});
    return position.QuadPart;
}

std::int64_t TFile::Size()
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(AsHandle(FHandle.Get()), &size))
        RaiseLastError(u"GetFileSizeEx", {});
    return size.QuadPart;
}

void TFile::SetSize(std::int64_t size)
{
    const std::int64_t position = Seek(0, TSeekOrigin::Current);
    Seek(size, TSeekOrigin::Beginning);
    if (!SetEndOfFile(AsHandle(FHandle.Get()))) {
        const DWORD error = GetLastError();
        Seek(position, TSeekOrigin::Beginning);
        SetLastError(error);
        RaiseLastError(u"SetEndOfFile", {});
    }
    Seek(position, TSeekOrigin::Beginning);
}

bool TFile::IsAt(const std::u16string&)
{
    return true;
}

bool TFile::MoveNoReplace(const std::u16string& from, const std::u16string& to)
{
    // Renamed through the handle that measured it, so it is this file and no other that moves.
    const std::size_t nameBytes = to.size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes, 0);
    auto* information = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    information->ReplaceIfExists = FALSE;
    information->RootDirectory = nullptr;
    information->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(information->FileName, to.data(), nameBytes);
    if (!SetFileInformationByHandle(AsHandle(FHandle.Get()), FileRenameInfo, information,
                                    static_cast<DWORD>(buffer.size())))
        RaiseLastError(u"SetFileInformationByHandle", from);
    return true;
}

void TFile::Flush()
{
    if (!FlushFileBuffers(AsHandle(FHandle.Get())))
        RaiseLastError(u"FlushFileBuffers", {});
}
