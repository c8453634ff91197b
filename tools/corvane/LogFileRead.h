#pragma once
// Reading an error log at one of its names, for read-log and dial. Log folders are shared, so
// whatever sits at a log's name may have been put there by someone else.

#include <functional>
#include <string>

// How many times a log that a writer holds is tried before the reader gives up.
inline constexpr int HeldLogReadAttempts = 8;

// The bytes of the log at path. The name is opened without waiting on what it holds and read
// only when that is a regular file; otherwise EOSError says what was found (a FIFO, a device, a
// directory). While a writer holds the log, pause(n) runs after the n-th attempt (1 to
// HeldLogReadAttempts - 1) and the read is tried again; EOSError when it stays held or cannot be
// read.
std::string ReadLogFile(const std::u16string& path, const std::function<void(int)>& pause);
// The same with the tool's pause between attempts, 25 ms: a writer holds the log for the
// milliseconds its record takes.
std::string ReadLogFile(const std::u16string& path);
