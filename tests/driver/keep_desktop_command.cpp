// Keeps Wine's desktop alive for a whole test session. Wine ends its desktop
// process some seconds after the last program that used it has gone, and the
// next program to show a window then waits, up to ten seconds, for a new one:
// long enough to make a test that waits for a window fail for no fault of the
// program. A process holding a window on the desktop keeps it alive.

#include <windows.h>

#include "commands.h"
#include "message_pump.h"
#include "output.h"

// keep-desktop [--for MS]: holds an invisible window until MS ms (default one
// hour) have passed or the process is ended.
int KeepDesktopCommand(const Arguments& arguments, HWND) {
    const ULONGLONG deadline = GetTickCount64() + arguments.NumberOr(L"for", 3600 * 1000);
    // A hidden top-level window, not a message-only one: only a window that
    // belongs to the desktop counts as using it.
    HWND window = CreateWindowExW(0, L"STATIC", L"ethbox-driver keep-desktop", WS_POPUP, 0, 0, 1, 1,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) {
        return Fail("could not create the window");
    }
    PrintLine(HandleText(window));
    PumpMessagesUntil(deadline);
    DestroyWindow(window);
    return 0;
}
