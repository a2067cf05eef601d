// Starting a program with an exact command line and watching it.

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "commands.h"
#include "output.h"
#include "program_start.h"
#include "watch_channel.h"
#include "window_search.h"

// launch --app PATH [--cmdline LINE] [--wait [--timeout MS] [--watch-windows]]
// Starts PATH (a Linux path is translated under Wine) with LINE as its whole
// command line, byte for byte what the program's GetCommandLine returns
// (default: the quoted path). Prints pid=N. With --wait, waits for the end
// (default time-out 10000 ms; past it the program is ended and the command
// fails) and prints exit-code=N as the signed 32-bit value; --watch-windows
// also prints windows-seen=N, the number of top-level windows its first
// thread showed while it ran, told by the watch hook, set before that thread
// runs: a window shown for a moment counts too.
int LaunchCommand(const Arguments& arguments, HWND) {
    std::string error;
    const bool watching = arguments.Has(L"wait") && arguments.Has(L"watch-windows");
    const auto program = ReadProgramStart(arguments, error);
    const PROCESS_INFORMATION process =
        program ? StartProgram(*program, error, watching) : PROCESS_INFORMATION{};
    if (process.hProcess == nullptr) {
        return Fail(error);
    }
    PrintLine("pid=" + std::to_string(process.dwProcessId));
    WatchChannel channel;
    if (watching && !channel.Connect(process.hProcess, process.dwThreadId, error)) {
        TerminateProcess(process.hProcess, 1);
        return Fail(error);
    }
    if (watching) {
        ResumeThread(process.hThread);
        CloseHandle(process.hThread);
    }
    if (!arguments.Has(L"wait")) {
        CloseHandle(process.hProcess);
        return 0;
    }

    std::set<std::uint32_t> shown;
    std::vector<watch_channel::Record> records;
    const long long timeout = arguments.WaitMs(L"timeout", 10000);
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout);
    const HANDLE handles[] = {process.hProcess, channel.Ready()};
    DWORD woken = WAIT_TIMEOUT;
    do {
        const ULONGLONG now = GetTickCount64();
        woken = now >= deadline ? WAIT_TIMEOUT
                                : WaitForMultipleObjects(watching ? 2 : 1, handles, FALSE,
                                                         static_cast<DWORD>(deadline - now));
        if (watching && !channel.Take(records, error)) {
            TerminateProcess(process.hProcess, 1);
            return Fail(error);
        }
    } while (woken == WAIT_OBJECT_0 + 1);  // a record: the program and the time go on
    for (const auto& record : records) {
        if (record.visible != 0) {
            shown.insert(record.window);
        }
    }
    if (woken != WAIT_OBJECT_0) {
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
        PrintLine("windows-seen=" + std::to_string(shown.size()));
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
