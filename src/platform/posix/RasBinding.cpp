#include "platform/RasBinding.h"

#include <dlfcn.h>

#include <string>

#include "core/Exceptions.h"
#include "core/Text.h"
#include "core/UniqueHandle.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"

namespace {

using TUniqueLibrary = TUniqueAny<void*, &dlclose, nullptr>;

// The layer beside the program wins over whatever the default search would find, as Windows'
// system directory wins for rasapi32.dll.
TUniqueLibrary LoadRasLibrary()
{
    const std::string besideProgram = ToUtf8Lossy(ExtractFilePath(ExecutablePath())) + "librasapi32.so";
    if (void* library = dlopen(besideProgram.c_str(), RTLD_NOW | RTLD_LOCAL))
        return TUniqueLibrary(library);
    if (void* library = dlopen("librasapi32.so", RTLD_NOW | RTLD_LOCAL))
        return TUniqueLibrary(library);
    throw Exception(u"外部例外 C06D007E");
}

TRasDialWFunction Bind()
{
    // Bound once and kept for the process; the library goes only when the process ends.
    static TUniqueLibrary library = LoadRasLibrary();
    void* function = dlsym(library.Get(), "RasDialW");
    if (function == nullptr)
        throw Exception(u"外部例外 C06D007F");
    return reinterpret_cast<TRasDialWFunction>(function);
}

}  // namespace

TRasDialWFunction BindRasDialW()
{
    // A failed binding raises and is tried again at the next call.
    static const TRasDialWFunction rasDialW = Bind();
    return rasDialW;
}
