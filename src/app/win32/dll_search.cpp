#include "dll_search.h"

#include <windows.h>

namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32, which the headers show only to programs for
// Windows 8 and later.
constexpr DWORD kSearchSystem32Only = 0x00000800;

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

// Windows 7 has the function only with update KB2533623, so it is looked up
// rather than imported: without it the program would not start at all there.
SetDefaultDllDirectoriesFunction FindSetDefaultDllDirectories() {
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    if (kernel32 == nullptr) {
        return nullptr;
    }
    FARPROC found = GetProcAddress(kernel32, "SetDefaultDllDirectories");
    return reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(found));
}

}  // namespace

void KeepProgramFolderOutOfDllSearch() {
    if (SetDefaultDllDirectoriesFunction setDefaultDllDirectories =
            FindSetDefaultDllDirectories()) {
        setDefaultDllDirectories(kSearchSystem32Only);
    }
    // Where the call above is missing, this at least takes the current folder
    // out; where it is present, it changes nothing.
    SetDllDirectoryW(L"");
}
