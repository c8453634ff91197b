#include "platform/RasBinding.h"

#include <windows.h>

#include "core/Exceptions.h"
#include "platform/win32/SystemLibrary.h"

namespace {

TUniqueModule LoadRasLibrary()
{
    if (TUniqueModule module = LoadSystemLibrary(L"rasapi32.dll"))
        return module;
    throw Exception(u"外部例外 C06D007E");
}

TRasDialWFunction Bind()
{
    // Bound once and kept for the process; the library goes only when the process ends.
    static TUniqueModule module = LoadRasLibrary();
    const FARPROC function = GetProcAddress(module.Get(), "RasDialW");
    if (function == nullptr)
        throw Exception(u"外部例外 C06D007F");
    return reinterpret_cast<TRasDialWFunction>(reinterpret_cast<void*>(function));
}

}  // namespace

TRasDialWFunction BindRasDialW()
{
    // A failed binding raises and is tried again at the next call.
    static const TRasDialWFunction rasDialW = Bind();
    return rasDialW;
}
