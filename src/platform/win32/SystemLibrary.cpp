#include "platform/win32/SystemLibrary.h"

#include <string>

namespace {

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

}  // namespace

TUniqueModule LoadSystemLibrary(const wchar_t* fileName)
{
    const std::wstring directory = SystemDirectory();
    if (directory.empty())
        return TUniqueModule();
    const std::wstring path = directory + L"\\" + fileName;
    return TUniqueModule(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}
