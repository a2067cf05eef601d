// Commands about the controls of a window, addressed by id: --id N [--nth K]
// (the K-th control with that id, default the first; -1 and 65535 are the same id).

#include <windows.h>

#include <cstdio>
#include <string>

#include "commands.h"
#include "output.h"
#include "window_search.h"
#include "window_text.h"

namespace {

std::string StyleText(HWND window) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lx",
                  static_cast<unsigned long>(GetWindowLongPtrW(window, GWL_STYLE)));
    return text;
}

BOOL CALLBACK PrintControl(HWND control, LPARAM parent) {
    // Only the window's own controls, not the parts of composite controls.
    if (GetParent(control) != reinterpret_cast<HWND>(parent)) {
        return TRUE;
    }
    const auto text = ControlText(control);
    PrintLine("id=" + std::to_string(GetDlgCtrlID(control) & 0xFFFF) +
              "\tclass=" + OneLine(ClassNameOf(control)) +
              "\tvisible=" + (IsWindowVisible(control) ? "1" : "0") +
              "\tenabled=" + (IsWindowEnabled(control) ? "1" : "0") +
              "\tstyle=" + StyleText(control) + "\ttext=" + (text ? OneLine(*text) : "?"));
    return TRUE;
}

}  // namespace

// controls SELECTOR: one line per control, in creation (tab) order:
// id, class, visible, enabled, style and text, tab-separated KEY=VALUE pairs.
int ControlsCommand(const Arguments&, HWND window) {
    EnumChildWindows(window, PrintControl, reinterpret_cast<LPARAM>(window));
    return 0;
}

// get-text SELECTOR --id N [--nth K]: prints the control's text as it is
// (a line break in it is a line break in the output). Use --id 65535 on a
// message box for its message.
int GetTextCommand(const Arguments&, HWND control) {
    const auto text = ControlText(control);
    if (!text) {
        return Fail("the window did not answer WM_GETTEXT");
    }
    PrintLine(*text);
    return 0;
}

// set-text SELECTOR --id N [--nth K] TEXT: sets the control's text.
int SetTextCommand(const Arguments& arguments, HWND control) {
    if (arguments.Words().size() != 1) {
        return Fail("set-text wants the text as its one plain argument");
    }
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(control, WM_SETTEXT, 0,
                             reinterpret_cast<LPARAM>(arguments.Words().front().c_str()),
                             SMTO_ABORTIFHUNG, AnswerTimeoutMs(), &result) ||
        result != TRUE) {
        return Fail("the control did not take the text");
    }
    return 0;
}

// click SELECTOR --id N [--nth K] [--send]: clicks a button (BM_CLICK). Posted
// by default, so a click that opens a modal window does not hold the driver;
// --send waits until the program has handled it.
int ClickCommand(const Arguments& arguments, HWND button) {
    if (!IsWindowEnabled(button)) {
        return Fail("the button is disabled");
    }
    if (arguments.Has(L"send")) {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, AnswerTimeoutMs(),
                                 &result)) {
            return Fail("the program did not handle the click in time");
        }
    } else if (!PostMessageW(button, BM_CLICK, 0, 0)) {
        return Fail("could not post BM_CLICK");
    }
    return 0;
}

// key SELECTOR --vk CODE [--id N [--nth K]]: posts a key press and release
// (WM_KEYDOWN, WM_KEYUP) to the window or one of its controls, where the
// program's message loop sees it as typed: --vk 27 is Esc, --vk 13 Enter.
int KeyCommand(const Arguments& arguments, HWND target) {
    const auto key = arguments.Number(L"vk");
    if (!key) {
        return Fail("say which key: --vk CODE");
    }
    const auto virtualKey = static_cast<WPARAM>(*key);
    const LPARAM scanCode =
        static_cast<LPARAM>(MapVirtualKeyW(static_cast<UINT>(*key), MAPVK_VK_TO_VSC)) << 16;
    const LPARAM released = LPARAM{1} << 30 | LPARAM{1} << 31;
    if (!PostMessageW(target, WM_KEYDOWN, virtualKey, scanCode | 1)) {
        return Fail("could not post the key");
    }
    // The press alone may already close the window (Esc, Enter), so a window
    // gone before its release is the key having done its work.
    if (!PostMessageW(target, WM_KEYUP, virtualKey, scanCode | released | 1) && IsWindow(target)) {
        return Fail("could not post the key's release");
    }
    return 0;
}
