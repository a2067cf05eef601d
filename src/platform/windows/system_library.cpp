#include "platform/windows/system_library.h"

#include <string>

SystemLibrary::SystemLibrary(const wchar_t* name) {
    // Asked for its length first: a system folder of any length is taken,
    // and one that cannot be read leaves the DLL unloaded.
    const UINT needed = GetSystemDirectoryW(nullptr, 0);
    if (needed == 0) {
        return;
    }
    std::wstring path(needed, L'\0');
    const UINT length = GetSystemDirectoryW(path.data(), needed);
    if (length == 0 || length >= needed) {
        return;
    }
    path.resize(length);
    path += L'\\';
    path += name;
    // Altered search: on a Windows 7 without the search-order update, the
    // DLL's own dependencies are then looked for beside it, not beside us.
    module_ = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

SystemLibrary::~SystemLibrary() {
    if (module_ != nullptr) {
        FreeLibrary(module_);
    }
}
