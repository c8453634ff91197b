#pragma once
#include <windows.h>

// The access the error log's writers ask for on a log file: what the package's permissions grant
// every user on each log (packaging/ErrorLogFolder.sddl), and no more. Not the generic write right:
// it carries FILE_WRITE_ATTRIBUTES and FILE_WRITE_EA, with which one user could mark the shared log
// read-only and every other user's records would be lost.

// Measure the log, append a record, cut a torn record back.
constexpr DWORD LogAppendAccess = FILE_GENERIC_READ | FILE_WRITE_DATA | FILE_APPEND_DATA;
// The same, and rename the log to the .old name through the handle that measured it.
constexpr DWORD LogRotateAccess = LogAppendAccess | DELETE;
