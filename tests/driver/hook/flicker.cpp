// watch-flicker: the window program of the driver's own row for the watch.
// Like EthBoxVup, a dialog whose Start (control 1) opens a progress window
// (the status text 1003, the bar 1051, Cancel 2) that ends with a message
// box. Here every tick of that window changes its status text and its bar
// ten times in a row, greys out Cancel and enables it again, and hides and
// shows the window: each of those states lasts microseconds, far less than
// any look from outside could catch. The sequence the row expects:
//   status=T.S position=S*10   for T = 1..kTicks, S = 1..kSteps
//   cancel=disabled cancel=enabled visible=0 visible=1   after each tick's steps
//   message icon=exclamation text=done visible=0
// Quit (control 2) ends it with 0 and prints how many of the states of the
// text, the bar and Cancel there were, how many lasted 1 ms or more (a busy
// machine may take the CPU from it in the middle of a tick) and the longest,
// in microseconds. Hiding and showing take X11 longer, and are not counted.

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>

#include "resource.h"

namespace {

constexpr int kTicks = 5;
constexpr int kSteps = 10;
constexpr UINT_PTR kTimerId = 1;

LARGE_INTEGER frequency;
long long states = 0;
long long statesOfAMillisecond = 0;
long long longestStateUs = 0;

// Marks a change: the state before it lasted from the last mark to this one.
class StateClock {
  public:
    StateClock() { QueryPerformanceCounter(&last_); }
    void Changed() {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        const long long us = (now.QuadPart - last_.QuadPart) * 1000000 / frequency.QuadPart;
        ++states;
        statesOfAMillisecond += us >= 1000 ? 1 : 0;
        longestStateUs = us > longestStateUs ? us : longestStateUs;
        last_ = now;
    }

  private:
    LARGE_INTEGER last_;
};

// Not painted while it lasts: under X11 a paint of the bar takes Wine far
// longer than a millisecond, and what a state looks like is no part of it.
void Redraw(HWND window, bool redraw) {
    for (const int id : {IDC_STATUS_TEXT, IDC_PROGRESS_BAR}) {
        SendDlgItemMessageW(window, id, WM_SETREDRAW, redraw, 0);
    }
    if (redraw) {
        InvalidateRect(window, nullptr, TRUE);
    }
}

void Flicker(HWND window, int tick) {
    HWND cancel = GetDlgItem(window, IDC_ABORT_BUTTON);
    Redraw(window, false);
    // A state lasts from the end of the call that made it to the end of the
    // next one: the first is counted from the tick's start.
    StateClock clock;
    for (int step = 1; step <= kSteps; ++step) {
        SetDlgItemTextW(window, IDC_STATUS_TEXT,
                        (std::to_wstring(tick) + L"." + std::to_wstring(step)).c_str());
        clock.Changed();
        SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_SETPOS, step * 10, 0);
        clock.Changed();
    }
    EnableWindow(cancel, FALSE);
    clock.Changed();
    EnableWindow(cancel, TRUE);
    clock.Changed();
    Redraw(window, true);
    ShowWindow(window, SW_HIDE);
    ShowWindow(window, SW_SHOW);
}

INT_PTR CALLBACK ProgressProc(HWND window, UINT message, WPARAM, LPARAM) {
    static int tick = 0;
    switch (message) {
        case WM_INITDIALOG:
            // Shown now, as EthBoxVup shows its own, and not once the queue
            // is first empty: a tick could come first.
            ShowWindow(window, SW_SHOW);
            tick = 0;
            SetTimer(window, kTimerId, 10, nullptr);
            return TRUE;
        case WM_TIMER:
            Flicker(window, ++tick);
            if (tick == kTicks) {
                KillTimer(window, kTimerId);
                MessageBoxW(window, L"done", L"watch-flicker", MB_ICONEXCLAMATION);
                EndDialog(window, 0);
            }
            return TRUE;
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_START_BUTTON) {
        DialogBoxW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(2), window, ProgressProc);
        return TRUE;
    }
    if ((message == WM_COMMAND && LOWORD(wParam) == IDC_QUIT_BUTTON) || message == WM_CLOSE) {
        EndDialog(window, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int main() {
    QueryPerformanceFrequency(&frequency);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    DialogBoxW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), nullptr, MainProc);
    std::printf("states=%lld of-1-ms-or-more=%lld longest-us=%lld\n", states, statesOfAMillisecond,
                longestStateUs);
    return 0;
}
