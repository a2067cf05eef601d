// How long the program takes from its start to a usable address dialog, for
// the benchmarks.

#include <windows.h>

#include <timeapi.h>

#include <string>

#include "commands.h"
#include "host_path.h"
#include "output.h"
#include "process_figures.h"
#include "window_search.h"

namespace {

constexpr int kQuitId = 2;
constexpr int kAddressFieldId = 1005;
constexpr DWORD kExitTimeoutMs = 10000;

struct DialogSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindAddressDialog(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<DialogSearch*>(context);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == search->processId && IsWindowVisible(window) &&
        GetWindow(window, GW_OWNER) == nullptr && ClassNameOf(window) == L"#32770" &&
        FindControl(window, kAddressFieldId) != nullptr) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

double MillisecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now{};
    LARGE_INTEGER frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

std::string Fixed(double value) {
    char text[32];
    snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// One start: prints the line of figures, or fails.
int TimeOneStart(int repetition, const std::wstring& appPath, std::wstring commandLine,
                 DWORD timeoutMs) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    LARGE_INTEGER started{};
    QueryPerformanceCounter(&started);
    if (!CreateProcessW(appPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        return Fail("could not start the program (error " + std::to_string(GetLastError()) + ")");
    }
    CloseHandle(process.hThread);
    DialogSearch search{process.dwProcessId, nullptr};
    while (search.found == nullptr && MillisecondsSince(started) < timeoutMs &&
           WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
        EnumWindows(FindAddressDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr) {
            Sleep(1);
        }
    }
    const double visibleMs = MillisecondsSince(started);
    if (search.found == nullptr) {
        TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hProcess);
        return Fail("no address dialog within " + std::to_string(timeoutMs) + " ms");
    }
    const auto memory = ReadMemoryFigures(process.hProcess);
    PostMessageW(FindControl(search.found, kQuitId), BM_CLICK, 0, 0);
    const bool ended = WaitForSingleObject(process.hProcess, kExitTimeoutMs) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hProcess);
    PrintLine("rep=" + std::to_string(repetition) + " visible-ms=" + Fixed(visibleMs) +
              (memory ? " " + MemoryFiguresText(*memory) : std::string()));
    return ended ? 0 : Fail("the program did not end after 終了");
}

}  // namespace

// start-time --app PATH [--cmdline LINE] [--reps N] [--timeout MS]
// Starts PATH (a Linux path is translated under Wine) N times (default 10),
// one after the other, and prints for each start one line:
//   rep=K visible-ms=T working-set-kib=... peak-working-set-kib=... private-kib=... ...
// T is the time from CreateProcess to the program's address dialog (an
// unowned dialog with control 1005) being visible, the memory figures those of
// that moment. Then it presses 終了 and waits for the program to end.
int StartTimeCommand(const Arguments& arguments) {
    const auto app = arguments.Value(L"app");
    if (!app) {
        return Fail("say which program: --app PATH");
    }
    const std::wstring appPath = WindowsPathFromHost(*app);
    const std::wstring commandLine = arguments.Value(L"cmdline").value_or(L"\"" + appPath + L"\"");
    const long long repetitions = arguments.NumberOr(L"reps", 10);
    const long long timeoutMs = arguments.NumberOr(L"timeout", 30000);
    if (!arguments.Error().empty()) {
        return Fail(arguments.Error());
    }
    timeBeginPeriod(1);
    int status = 0;
    for (long long repetition = 1; repetition <= repetitions && status == 0; ++repetition) {
        status = TimeOneStart(static_cast<int>(repetition), appPath, commandLine,
                              static_cast<DWORD>(timeoutMs));
    }
    timeEndPeriod(1);
    return status;
}
