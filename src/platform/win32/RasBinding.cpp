#include "platform/RasBinding.h"

#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

#include "rtl/Exceptions.h"

namespace {

struct TModuleCloser {
    void operator()(HMODULE module) const noexcept { FreeLibrary(module); }
};
using TUniqueModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, TModuleCloser>;

std::wstring SystemDirectory()
{
    std::wstring directory(MAX_PATH, L'\0');
    for (;;) {
        const UINT length = GetSystemDirectoryW(directory.data(), static_cast<UINT>(directory.size()));
        if (length == 0)
            return {};
        if (length < directory.size()) {
            directory.resize(length);
            return directory;
        }
        directory.resize(length);
    }
}

// Only the system directory's copy is loaded: the DLL search order would start beside the
// executable, where anyone who can write there could plant a rasapi32.dll of their own.
TUniqueModule LoadRasLibrary()
{
    const std::wstring directory = SystemDirectory();
    if (!directory.empty()) {
        const std::wstring path = directory + L"\\rasapi32.dll";
        if (HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH))
            return TUniqueModule(module);
    }
    throw Exception(u"外部例外 C06D007E");
}

TRasDialWFunction Bind()
{
    // Bound once and kept for the process; the library goes only when the process ends.
    static TUniqueModule module = LoadRasLibrary();
    const FARPROC function = GetProcAddress(module.get(), "RasDialW");
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
