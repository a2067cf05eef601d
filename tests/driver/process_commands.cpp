// Starting a program with an exact command line and watching it.

#include <windows.h>

#include <set>
#include <string>

#include "commands.h"
#include "host_path.h"
#include "output.h"
#include "window_search.h"

namespace {

struct WindowWatch {
    DWORD processId;
    std::set<HWND> seen;
};

BOOL CALLBACK NoteVisibleWindow(HWND window, LPARAM context) {
    auto* watch = reinterpret_cast<WindowWatch*>(context);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == watch->processId && IsWindowVisible(window)) {
        watch->seen.insert(window);
    }
    return TRUE;
}

}  // namespace

// launch --app PATH [--cmdline LINE] [--wait [--timeout MS] [--watch-windows]]
// Starts PATH (a Linux path is translated under Wine) with LINE as its whole
// command line, byte for byte what the program's GetCommandLine returns
// (default: the quoted path). Prints pid=N. With --wait, waits for the end
// (default time-out 10000 ms; past it the program is ended and the command
// fails) and prints exit-code=N as the signed 32-bit value; --watch-windows
// also prints windows-seen=N, the number of visible top-level windows the
// program showed while it ran.
int LaunchCommand(const Arguments& arguments) {
    const auto app = arguments.Value(L"app");
    if (!app) {
        return Fail("say which program: --app PATH");
    }
    const std::wstring appPath = WindowsPathFromHost(*app);
    std::wstring commandLine = arguments.Value(L"cmdline").value_or(L"\"" + appPath + L"\"");
    const long long timeout = arguments.NumberOr(L"timeout", 10000);
    if (!arguments.Error().empty()) {
        return Fail(arguments.Error());
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(appPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        return Fail("could not start the program (error " + std::to_string(GetLastError()) + ")");
    }
    CloseHandle(process.hThread);
    PrintLine("pid=" + std::to_string(process.dwProcessId));
    if (!arguments.Has(L"wait")) {
        CloseHandle(process.hProcess);
        return 0;
    }

    WindowWatch watch{process.dwProcessId, {}};
    const bool watching = arguments.Has(L"watch-windows");
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout);
    DWORD waited = WAIT_TIMEOUT;
    while (waited == WAIT_TIMEOUT && GetTickCount64() < deadline) {
        if (watching) {
            EnumWindows(NoteVisibleWindow, reinterpret_cast<LPARAM>(&watch));
        }
        waited = WaitForSingleObject(process.hProcess, kPollMs);
    }
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hProcess);
        return Fail("the program did not end within " + std::to_string(timeout) +
                    " ms; it was ended");
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    PrintLine("exit-code=" + std::to_string(static_cast<long>(static_cast<LONG>(exitCode))));
    if (watching) {
        PrintLine("windows-seen=" + std::to_string(watch.seen.size()));
    }
    return 0;
}
