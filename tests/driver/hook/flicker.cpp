// watch-flicker, the window program of the driver's own row for the watch.
// Like EthBoxVup, a dialog whose Start (control 1) opens a progress window
// (the status text 1003, the bar 1051, Cancel 2) that ends with a message
// box. At each of its five ticks the window changes its status text and its
// bar ten times in a row, greys Cancel out and back, and hides and shows
// itself: states that last microseconds, all made within one message, which
// no look from another thread could see. The watch must print
//   status=T.S position=S*10   for T = 1..5, S = 1..10
//   cancel=disabled cancel=enabled visible=0 visible=1   after each tick's steps
// and then the box: message icon=exclamation text=done, and visible=0.
// Quit (control 2) ends it with 0 and prints how many states of the text,
// the bar and Cancel there were, how many lasted a millisecond or more (a
// busy machine may take the CPU away in the middle of a tick), and the
// longest in microseconds.

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>

#include "resource.h"

namespace {

constexpr int kTicks = 5;
constexpr int kSteps = 10;

long long states = 0;
long long statesOfAMillisecond = 0;
long long longestUs = 0;

// Marks a change. A state lasts from the end of the call that made it to the
// end of the next one; the first of a tick is counted from the tick's start.
void Changed(LARGE_INTEGER& last) {
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    const long long us = (now.QuadPart - last.QuadPart) * 1000000 / frequency.QuadPart;
    ++states;
    statesOfAMillisecond += us >= 1000 ? 1 : 0;
    longestUs = us > longestUs ? us : longestUs;
    last = now;
}

// Under X11 Wine takes far longer than a millisecond to paint a bar, so the
// text and the bar are painted once a tick's states are over.
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
    LARGE_INTEGER last;
    QueryPerformanceCounter(&last);
    Redraw(window, false);
    for (int step = 1; step <= kSteps; ++step) {
        const std::wstring status = std::to_wstring(tick) + L"." + std::to_wstring(step);
        SetDlgItemTextW(window, IDC_STATUS_TEXT, status.c_str());
        Changed(last);
        SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_SETPOS, step * 10, 0);
        Changed(last);
    }
    EnableWindow(cancel, FALSE);
    Changed(last);
    EnableWindow(cancel, TRUE);
    Changed(last);
    Redraw(window, true);
    ShowWindow(window, SW_HIDE);
    ShowWindow(window, SW_SHOW);
}

INT_PTR CALLBACK ProgressProc(HWND window, UINT message, WPARAM, LPARAM) {
    static int tick = 0;
    if (message == WM_INITDIALOG) {
        // Shown now, as EthBoxVup shows its own, not once the queue is first
        // empty, which may be after the first tick.
        ShowWindow(window, SW_SHOW);
        tick = 0;
        SetTimer(window, 1, 10, nullptr);
    } else if (message == WM_TIMER) {
        Flicker(window, ++tick);
        if (tick == kTicks) {
            KillTimer(window, 1);
            MessageBoxW(window, L"done", L"watch-flicker", MB_ICONEXCLAMATION);
            EndDialog(window, 0);
        }
    }
    return message == WM_INITDIALOG || message == WM_TIMER;
}

INT_PTR CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_START_BUTTON) {
        DialogBoxW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(2), window, ProgressProc);
    } else if ((message == WM_COMMAND && LOWORD(wParam) == IDC_QUIT_BUTTON) ||
               message == WM_CLOSE) {
        EndDialog(window, 0);
    }
    return message == WM_INITDIALOG || message == WM_COMMAND || message == WM_CLOSE;
}

}  // namespace

int main() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    DialogBoxW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), nullptr, MainProc);
    std::printf("states=%lld of-1-ms-or-more=%lld longest-us=%lld\n", states, statesOfAMillisecond,
                longestUs);
    return 0;
}
