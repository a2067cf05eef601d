// How long the program takes from its start to a usable address dialog, for
// the benchmarks.

#include <windows.h>

#include <timeapi.h>

#include <string>

#include "bench_commands.h"
#include "output.h"
#include "process_figures.h"
#include "program_start.h"
#include "program_windows.h"
#include "window_search.h"

namespace {

constexpr DWORD kExitTimeoutMs = 10000;

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
int TimeOneStart(int repetition, const ProgramStart& program, DWORD timeoutMs) {
    LARGE_INTEGER started{};
    QueryPerformanceCounter(&started);
    std::string error;
    const PROCESS_INFORMATION process = StartProgram(program, error);
    if (process.hProcess == nullptr) {
        return Fail(error);
    }
    WindowSelector addressDialog;
    addressDialog.withIds = {IDC_ADDRESS_EDIT};
    addressDialog.ownership = WindowSelector::Ownership::Unowned;
    addressDialog.processId = process.dwProcessId;
    std::vector<HWND> found;
    while (found.empty() && MillisecondsSince(started) < timeoutMs &&
           WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
        found = MatchingWindows(addressDialog);
        if (found.empty()) {
            Sleep(1);
        }
    }
    const double visibleMs = MillisecondsSince(started);
    if (found.empty()) {
        TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hProcess);
        return Fail("no address dialog within " + std::to_string(timeoutMs) + " ms");
    }
    const auto memory = ReadMemoryFigures(process.hProcess);
    ClickButton(found.front(), IDC_QUIT_BUTTON);
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
// unowned dialog with the address field) being visible, the memory figures
// those of that moment. Then it presses 終了 and waits for the program to end.
int StartTimeCommand(const Arguments& arguments, HWND) {
    std::string error;
    const auto program = ReadProgramStart(arguments, error);
    if (!program) {
        return Fail(error);
    }
    const long long repetitions = arguments.NumberOr(L"reps", 10);
    const long long timeoutMs = arguments.NumberOr(L"timeout", 30000);
    timeBeginPeriod(1);
    int status = 0;
    for (long long repetition = 1; repetition <= repetitions && status == 0; ++repetition) {
        status =
            TimeOneStart(static_cast<int>(repetition), *program, static_cast<DWORD>(timeoutMs));
    }
    timeEndPeriod(1);
    return status;
}
