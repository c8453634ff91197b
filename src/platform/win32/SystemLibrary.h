#pragma once
// Loading a library of Windows itself by its full path in the system directory.

#include <windows.h>

#include "core/UniqueHandle.h"

using TUniqueModule = TUniqueAny<HMODULE, &FreeLibrary, nullptr>;

// The system directory's copy of the library (a file name such as L"rasapi32.dll"), or empty when
// it cannot be loaded. Never the DLL search order: that would start beside the executable, where
// anyone who can write there could plant a library of that name.
TUniqueModule LoadSystemLibrary(const wchar_t* fileName);
