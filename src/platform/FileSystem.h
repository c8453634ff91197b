#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// File-system operations of the error log, with the sharing rules of Windows. On POSIX a
// non-blocking exclusive advisory lock (flock) stands in wherever Windows would deny sharing.
//
// Questions about the file system answer true or false and never raise (a failure to find out
// is an answer too, as said at each); removing a file is best effort and says whether it
// happened; moving one raises, because the caller must not go on as if it had moved.

// The path separator: "\" on Windows, "/" on POSIX.
extern const std::u16string_view PathDelimiter;

// The longest path the log accepts, in characters: Windows' MAX_PATH minus one (259); on POSIX
// the same limit, so both builds behave alike.
inline constexpr std::size_t MaxLogPathLength = 259;

// True for a directory or a symbolic link to one, and for a path whose attributes cannot be read
// for another reason than its absence (access denied, for example). Absence: not found, a path
// component that is no directory, a name too long or invalid, a loop of links; on Windows also
// a bad network path or name and a device that is not ready.
bool DirectoryExists(const std::u16string& path);
// True for an existing file (or a link to one); false for directories.
bool FileExists(const std::u16string& path);

// The size of an existing file, asked without opening it for reading or writing, so a file that
// someone holds against readers (a writer's lock, a share-none handle) still answers. Nothing
// when it is absent, a directory, or the system will not say.
std::optional<std::uint64_t> FileSizeOf(const std::u16string& path);

// Whether every character may stand in a path: on Windows no control character and none of
// < > | " (a leading extended-length prefix aside, no ? or * either); on POSIX anything but U+0000.
bool HasValidPathChars(std::u16string_view path);
// Whether the path carries Windows' extended-length prefix "\\?\" (never on POSIX).
bool IsExtendedLengthPath(std::u16string_view path);

// The directory part of a path including its trailing separator ("" when there is none).
std::u16string ExtractFilePath(const std::u16string& path);
// The file name part of a path.
std::u16string ExtractFileName(const std::u16string& path);

// Removes a file; false when it could not be removed.
[[nodiscard]] bool DeleteFileAt(const std::u16string& path);
// Renames a file; fails (EOSError) when the target exists, never replacing it.
void MoveFileNoReplace(const std::u16string& from, const std::u16string& to);
