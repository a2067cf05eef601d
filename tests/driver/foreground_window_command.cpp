// A window of the driver's own that takes the foreground, so that a test can
// see another program's window win the foreground back.

#include <windows.h>

#include <string>

#include "commands.h"
#include "message_pump.h"
#include "output.h"

namespace {

constexpr wchar_t kClassName[] = L"EthBoxDriverWindow";

LRESULT CALLBACK ForegroundWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

// hold-foreground --title T [--for MS]: shows a plain window of class
// "EthBoxDriverWindow" with caption T, makes it the foreground window, prints
// its handle, and keeps it until it is closed or MS ms (default 10000), scaled
// as every wait is, have passed: a test's checks behind it must not outlast it.
int HoldForegroundCommand(const Arguments& arguments, HWND) {
    const auto title = arguments.Value(L"title");
    if (!title) {
        return Fail("say what to call the window: --title TEXT");
    }
    const ULONGLONG deadline = GetTickCount64() + arguments.WaitMs(L"for", 10000);

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ForegroundWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassW(&windowClass)) {
        return Fail("could not register the window class");
    }
    HWND window =
        CreateWindowExW(0, kClassName, title->c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                        320, 200, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window == nullptr) {
        return Fail("could not create the window");
    }
    SetForegroundWindow(window);
    PrintLine(HandleText(window));

    if (PumpMessagesUntil(deadline)) {
        DestroyWindow(window);
    }
    return 0;
}
