// Commands about top-level windows: finding them, their state, minimising and closing.

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "commands.h"
#include "output.h"
#include "window_search.h"
#include "window_text.h"

namespace {

using State = std::vector<std::pair<std::string, std::string>>;

State StateOf(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return {
        {"hwnd", HandleText(window)},
        {"title", OneLine(WindowTitle(window))},
        {"class", OneLine(ClassNameOf(window))},
        {"pid", std::to_string(processId)},
        {"owner", HandleText(GetWindow(window, GW_OWNER))},
        {"visible", IsWindowVisible(window) ? "1" : "0"},
        {"enabled", IsWindowEnabled(window) ? "1" : "0"},
        {"iconic", IsIconic(window) ? "1" : "0"},
        {"foreground", GetForegroundWindow() == window ? "1" : "0"},
        {"rect", RectText(rect)},
    };
}

bool Holds(const State& state, const std::wstring& condition) {
    const std::string wanted = Utf8FromWide(condition);
    for (const auto& [key, value] : state) {
        if (wanted == key + "=" + value) {
            return true;
        }
    }
    return false;
}

void PrintState(const State& state) {
    for (const auto& [key, value] : state) {
        PrintLine(key + "=" + value);
    }
}

}  // namespace

// find-window SELECTOR [--timeout MS]: prints the handle of the one matching window.
int FindWindowCommand(const Arguments&, HWND window) {
    PrintLine(HandleText(window));
    return 0;
}

// no-window SELECTOR: succeeds if no window matches now.
int NoWindowCommand(const Arguments& arguments, HWND) {
    std::string error;
    const auto selector = ReadSelector(arguments, error);
    if (!selector) {
        return Fail(error);
    }
    const auto found = MatchingWindows(*selector);
    if (!found.empty()) {
        return Fail("a matching window exists: " + HandleText(found.front()) + " \"" +
                    OneLine(WindowTitle(found.front())) + "\"");
    }
    return 0;
}

// wait-gone SELECTOR [--timeout MS]: waits until no window matches.
int WaitGoneCommand(const Arguments& arguments, HWND) {
    std::string error;
    const auto selector = ReadSelector(arguments, error);
    if (!selector) {
        return Fail(error);
    }
    const long long timeout = arguments.WaitMs(L"timeout", kDefaultTimeoutMs);
    if (!WaitUntilNoWindow(*selector, static_cast<DWORD>(timeout))) {
        return Fail("the window is still there after " + std::to_string(timeout) + " ms");
    }
    return 0;
}

// window-state SELECTOR [--until KEY=VALUE]... [--timeout MS]: prints
// hwnd, title, class, pid, owner, visible, enabled, iconic, foreground and
// rect (left,top,right,bottom), one KEY=VALUE a line; with --until, first
// waits until every condition holds, and fails (printing the last state) if
// they do not within the time-out.
int WindowStateCommand(const Arguments& arguments, HWND window) {
    const auto conditions = arguments.Values(L"until");
    const long long timeout = arguments.WaitMs(L"timeout", kDefaultTimeoutMs);
    const ULONGLONG deadline = GetTickCount64() + timeout;
    for (;;) {
        const State state = StateOf(window);
        bool allHold = true;
        for (const auto& condition : conditions) {
            allHold = allHold && Holds(state, condition);
        }
        if (allHold || GetTickCount64() >= deadline) {
            PrintState(state);
            std::wstring wanted;
            for (const auto& condition : conditions) {
                wanted += L" " + condition;
            }
            return allHold ? 0
                           : Fail("the window did not reach" + Utf8FromWide(wanted) + " within " +
                                  std::to_string(timeout) + " ms");
        }
        Sleep(kPollMs);
    }
}

// minimize SELECTOR [--timeout MS]: minimises the window as its minimise
// command would, and waits until it is minimised.
int MinimizeCommand(const Arguments& arguments, HWND window) {
    PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    const long long timeout = arguments.WaitMs(L"timeout", kDefaultTimeoutMs);
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout);
    while (!IsIconic(window)) {
        if (GetTickCount64() >= deadline) {
            return Fail("the window did not minimise within " + std::to_string(timeout) + " ms");
        }
        Sleep(kPollMs);
    }
    return 0;
}

// close SELECTOR: posts WM_CLOSE, as the close box does.
int CloseCommand(const Arguments&, HWND window) {
    if (!PostMessageW(window, WM_CLOSE, 0, 0)) {
        return Fail("could not post WM_CLOSE");
    }
    return 0;
}

// foreground: prints the foreground window's handle and title, two lines.
int ForegroundCommand(const Arguments&, HWND) {
    HWND window = GetForegroundWindow();
    PrintLine("hwnd=" + HandleText(window));
    PrintLine("title=" + (window != nullptr ? OneLine(WindowTitle(window)) : std::string{}));
    return 0;
}

// desktop-rect: prints the desktop window's rectangle as left,top,right,bottom.
int DesktopRectCommand(const Arguments&, HWND) {
    RECT rect{};
    GetWindowRect(GetDesktopWindow(), &rect);
    PrintLine(RectText(rect));
    return 0;
}

// copy-text SELECTOR: sends the window WM_COPY, as a program asks a window to
// copy itself, and prints the text it put on the clipboard (CF_UNICODETEXT),
// its line breaks as line breaks. The clipboard is emptied first, so that
// text from before is never taken for the window's.
int CopyTextCommand(const Arguments&, HWND window) {
    if (!OpenClipboard(nullptr)) {
        return Fail("could not open the clipboard to empty it");
    }
    EmptyClipboard();
    CloseClipboard();
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, WM_COPY, 0, 0, SMTO_ABORTIFHUNG, AnswerTimeoutMs(), &result)) {
        return Fail("the window did not answer WM_COPY");
    }
    if (!OpenClipboard(nullptr)) {
        return Fail("could not open the clipboard to read it");
    }
    std::wstring text;
    const HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const auto* locked = data != nullptr ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
    if (locked != nullptr) {
        text = locked;
        GlobalUnlock(data);
    }
    CloseClipboard();
    if (locked == nullptr) {
        return Fail("the window put no text on the clipboard");
    }
    std::wstring lines;
    for (const wchar_t c : text) {
        if (c != L'\r') {
            lines += c;
        }
    }
    if (!lines.empty() && lines.back() == L'\n') {
        lines.pop_back();
    }
    PrintLine(lines);
    return 0;
}
