#include "host_path.h"

#include <windows.h>

#include "window_text.h"

std::wstring WindowsPathFromHost(const std::wstring& path) {
    if (path.empty() || path.front() != L'/') {
        return path;
    }
    // Exported by Wine's kernel32 only; takes the path in the Unix locale's encoding (UTF-8 here).
    using UnixToDos = WCHAR*(CDECL*)(LPCSTR);
    const FARPROC entry =
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name");
    if (entry == nullptr) {
        return path;
    }
    const auto convert = reinterpret_cast<UnixToDos>(reinterpret_cast<void (*)()>(entry));
    WCHAR* converted = convert(Utf8FromWide(path).c_str());
    if (converted == nullptr) {
        return path;
    }
    std::wstring result = converted;
    HeapFree(GetProcessHeap(), 0, converted);
    return result;
}
