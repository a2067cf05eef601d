// Holds a file open as a spreadsheet holds the record it shows, so that the
// program cannot write it meanwhile.

#include <windows.h>

#include "commands.h"
#include "host_path.h"
#include "output.h"

// hold-file --path FILE [--for MS]: opens FILE for reading, letting others
// read it but not write it (Excel's share mode), prints "held", and keeps it
// until MS ms (default one minute), scaled as every wait is, have passed or
// the process is ended.
int HoldFileCommand(const Arguments& arguments, HWND) {
    const auto path = arguments.Value(L"path");
    if (!path) {
        return Fail("hold-file needs --path FILE");
    }
    const HANDLE file =
        CreateFileW(WindowsPathFromHost(*path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return Fail("could not open the file: error " + std::to_string(GetLastError()));
    }
    PrintLine(std::string_view("held"));
    Sleep(static_cast<DWORD>(arguments.WaitMs(L"for", 60 * 1000)));
    CloseHandle(file);
    return 0;
}
