// Starting a program with an exact command line and watching it.

#include <windows.h>

#include <set>
#include <string>

#include "commands.h"
#include "output.h"
#include "program_start.h"
#include "window_search.h"

// launch --app PATH [--cmdline LINE] [--wait [--timeout MS] [--watch-windows]]
// Starts PATH (a Linux path is translated under Wine) with LINE as its whole
// command line, byte for byte what the program's GetCommandLine returns
// (default: the quoted path). Prints pid=N. With --wait, waits for the end
// (default time-out 10000 ms; past it the program is ended and the command
// fails) and prints exit-code=N as the signed 32-bit value; --watch-windows
// also prints windows-seen=N, the number of visible top-level windows the
// program showed while it ran.
int LaunchCommand(const Arguments& arguments, HWND) {
    std::string error;
    const auto program = ReadProgramStart(arguments, error);
    const PROCESS_INFORMATION process =
        program ? StartProgram(*program, error) : PROCESS_INFORMATION{};
    if (process.hProcess == nullptr) {
        return Fail(error);
    }
    PrintLine("pid=" + std::to_string(process.dwProcessId));
    if (!arguments.Has(L"wait")) {
        CloseHandle(process.hProcess);
        return 0;
    }

    WindowSelector itsWindows;  // visible top-level windows of any class
    itsWindows.className.clear();
    itsWindows.processId = process.dwProcessId;
    std::set<HWND> seen;
    const bool watching = arguments.Has(L"watch-windows");
    const long long timeout = arguments.WaitMs(L"timeout", 10000);
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout);
    DWORD waited = WAIT_TIMEOUT;
    while (waited == WAIT_TIMEOUT && GetTickCount64() < deadline) {
        if (watching) {
            const auto visible = MatchingWindows(itsWindows);
            seen.insert(visible.begin(), visible.end());
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
        PrintLine("windows-seen=" + std::to_string(seen.size()));
    }
    return 0;
}

// end-process SELECTOR [--exit-code N]: ends the process that owns the
// window at once, as the Task Manager's "End task" does (TerminateProcess,
// exit code N, default 1), and waits until it has ended. Prints pid=N.
int EndProcessCommand(const Arguments& arguments, HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
    if (process == nullptr) {
        return Fail("could not open the process " + std::to_string(processId));
    }
    const auto exitCode = static_cast<UINT>(arguments.NumberOr(L"exit-code", 1));
    const bool ended =
        TerminateProcess(process, exitCode) &&
        WaitForSingleObject(process, static_cast<DWORD>(arguments.WaitMs(
                                         L"timeout", kDefaultTimeoutMs))) == WAIT_OBJECT_0;
    CloseHandle(process);
    if (!ended) {
        return Fail("the process " + std::to_string(processId) + " did not end");
    }
    PrintLine("pid=" + std::to_string(processId));
    return 0;
}
