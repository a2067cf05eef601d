// Pictures of a window or of the whole screen, for people to look at.

#include <windows.h>

#include <string>

#include "commands.h"
#include "host_path.h"
#include "output.h"
#include "screen_capture.h"
#include "window_search.h"

// screenshot (SELECTOR | --screen) --out FILE.bmp: saves what the screen shows
// of the window (its whole rectangle, frame included) or the whole screen, as
// a 24-bit BMP. The window is repainted and given a moment first.
int ScreenshotCommand(const Arguments& arguments, HWND) {
    const auto out = arguments.Value(L"out");
    if (!out) {
        return Fail("say where to: --out FILE.bmp");
    }
    RECT area{};
    if (arguments.Has(L"screen")) {
        GetWindowRect(GetDesktopWindow(), &area);
    } else {
        std::string error;
        HWND window = WaitForSelectedWindow(arguments, error);
        if (window == nullptr) {
            return Fail(error);
        }
        RepaintNow(window, AnswerTimeoutMs());
        Sleep(300);
        GetWindowRect(window, &area);
    }
    if (area.right <= area.left || area.bottom <= area.top) {
        return Fail("nothing to capture: the area is empty");
    }
    const ScreenPicture picture = CaptureScreen(area);
    if (picture.pixels.empty()) {
        return Fail("could not copy the screen");
    }
    if (!WriteBmp(WindowsPathFromHost(*out), picture)) {
        return Fail("could not write the picture");
    }
    return 0;
}
