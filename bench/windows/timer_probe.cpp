// timer-probe: how long a window timer of 30 ms (or another interval) really
// takes on this system, when it is killed and armed again at each expiry as
// EthBoxVup's progress window does. Three ways of arming it, to see whether the system's timer
// resolution or its timer coalescing stretches the interval:
//   plain        SetTimer
//   resolution   SetTimer while timeBeginPeriod(1) asks for a 1 ms resolution
//   uncoalesced  SetCoalescableTimer with TIMERV_NO_COALESCING
// Prints one line per way: ticks, then the median, mean, minimum and maximum
// interval in milliseconds. Runs on Windows as it does under Wine.
//
// Usage: timer-probe [TICKS [INTERVAL_MS]]   (default 100 ticks of 30 ms per way;
//        the program's other intervals are 50 and 1000 ms)

#include <windows.h>

#include <timeapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <vector>

namespace {

constexpr UINT_PTR kTimerId = 101;

enum class Arming { Plain, Resolution, Uncoalesced };

struct Probe {
    Arming arming;
    int ticksWanted;
    UINT intervalMs;
    LARGE_INTEGER last{};
    std::vector<double> intervalsMs;
};

Probe* probe = nullptr;

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

void Arm(HWND window) {
    QueryPerformanceCounter(&probe->last);
    if (probe->arming == Arming::Uncoalesced) {
        SetCoalescableTimer(window, kTimerId, probe->intervalMs, nullptr, TIMERV_NO_COALESCING);
    } else {
        SetTimer(window, kTimerId, probe->intervalMs, nullptr);
    }
}

LRESULT CALLBACK ProbeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && wParam == kTimerId) {
        LARGE_INTEGER now{};
        QueryPerformanceCounter(&now);
        KillTimer(window, kTimerId);
        probe->intervalsMs.push_back(Milliseconds(probe->last, now));
        if (static_cast<int>(probe->intervalsMs.size()) >= probe->ticksWanted) {
            PostQuitMessage(0);
        } else {
            Arm(window);
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void Run(Probe& run, HWND window, const char* name) {
    probe = &run;
    if (run.arming == Arming::Resolution) {
        timeBeginPeriod(1);
    }
    Arm(window);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    if (run.arming == Arming::Resolution) {
        timeEndPeriod(1);
    }
    std::vector<double> sorted = run.intervalsMs;
    std::sort(sorted.begin(), sorted.end());
    const double mean =
        std::accumulate(sorted.begin(), sorted.end(), 0.0) / static_cast<double>(sorted.size());
    std::printf(
        "interval=%u arming=%s ticks=%zu median-ms=%.2f mean-ms=%.2f min-ms=%.2f max-ms=%.2f\n",
        run.intervalMs, name, sorted.size(), sorted[sorted.size() / 2], mean, sorted.front(),
        sorted.back());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const int ticks = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    const UINT intervalMs = argc > 2 ? static_cast<UINT>(std::max(10, std::atoi(argv[2]))) : 30;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ProbeWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"EthBoxTimerProbe";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, windowClass.hInstance, nullptr);
    if (window == nullptr) {
        std::fprintf(stderr, "timer-probe: no window\n");
        return 1;
    }
    Probe plain{Arming::Plain, ticks, intervalMs, {}, {}};
    Probe resolution{Arming::Resolution, ticks, intervalMs, {}, {}};
    Probe uncoalesced{Arming::Uncoalesced, ticks, intervalMs, {}, {}};
    Run(plain, window, "plain");
    Run(resolution, window, "resolution");
    Run(uncoalesced, window, "uncoalesced");
    DestroyWindow(window);
    return 0;
}
