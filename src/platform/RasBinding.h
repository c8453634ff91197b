#pragma once
#include <cstdint>

// RasDialW as the Remote Access Service exports it: (extensions, phonebook, dial parameters,
// notifier type, notifier, out connection handle). Texts are UTF-16.
using TRasDialWFunction = std::uint32_t (*)(void* lpRasDialExtensions, const char16_t* lpszPhonebook,
                                            void* lpRasDialParams, std::uint32_t dwNotifierType, void* lpvNotifier,
                                            void** lphRasConn);

// Binds RasDialW on first use and keeps it for the process. Raises Exception "外部例外 C06D007E"
// when the library cannot be loaded and "外部例外 C06D007F" when it lacks the function.
// Windows: rasapi32.dll by its full path in the system directory, never the DLL search order.
// POSIX: librasapi32.so from the executable's own directory, then the default library search.
TRasDialWFunction BindRasDialW();
