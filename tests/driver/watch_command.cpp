// Following one update from outside, as it happens: EthBoxVup's progress
// window and its message boxes, from the moment they appear until they are
// gone, and acting on them at given moments as a user would.

#include <windows.h>

#include <commctrl.h>

#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "host_path.h"
#include "message_icon.h"
#include "output.h"
#include "program_windows.h"
#include "screen_capture.h"
#include "window_search.h"
#include "window_text.h"

namespace {

// Reads of the program's controls while it runs: short, because right after a
// message box is dismissed its thread does not answer for a while (about 2 s
// under Xvfb without a window manager), and the watch must go on meanwhile.
constexpr UINT kReadTimeoutMs = 100;
constexpr DWORD kDefaultWatchTimeoutMs = 60000;
constexpr DWORD kDefaultWatchPollMs = 10;

// What was last printed about the progress window.
struct ProgressView {
    std::optional<std::wstring> status;
    std::optional<long long> position;
    std::optional<bool> cancelEnabled;
    std::optional<bool> visible;
    std::optional<std::string> rect;
};

struct Followed {
    HWND window;
    bool isProgress;     // otherwise a message box
    ProgressView shown;  // progress window only
    bool read = false;   // message box: its text and icon have been printed
};

// A moment to act at: "status=TEXT", "position=N", "cancel=enabled" or
// "cancel=disabled", "message" (a message box has been read) or "ms=N".
struct Moment {
    std::wstring key;
    std::wstring value;
};

struct Action {
    enum class Kind { Cancel, Close, Screenshot } kind;
    Moment moment;
    std::wstring out;  // screenshots only
    bool done = false;
};

std::optional<Moment> ReadMoment(const std::wstring& text, std::string& error) {
    const auto equals = text.find(L'=');
    Moment moment{text.substr(0, equals),
                  equals == std::wstring::npos ? L"" : text.substr(equals + 1)};
    const bool needsValue = moment.key == L"status" || moment.key == L"position" ||
                            moment.key == L"cancel" || moment.key == L"ms";
    if ((needsValue && equals == std::wstring::npos) ||
        (moment.key == L"message" && equals != std::wstring::npos) ||
        (!needsValue && moment.key != L"message") ||
        ((moment.key == L"position" || moment.key == L"ms") && !ParseNumber(moment.value))) {
        error = "not a moment: " + Utf8FromWide(text) +
                " (status=TEXT, position=N, cancel=enabled|disabled, message, ms=N)";
        return std::nullopt;
    }
    return moment;
}

std::optional<long long> ProgressPosition(HWND bar) {
    DWORD_PTR position = 0;
    if (bar == nullptr ||
        !SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kReadTimeoutMs, &position)) {
        return std::nullopt;
    }
    return static_cast<long long>(static_cast<LONG_PTR>(position));
}

class Watch {
  public:
    Watch(HWND mainWindow, DWORD processId) : main_(mainWindow) {
        ours_.title = WindowTitle(mainWindow);
        ours_.processId = processId;
    }

    void StartClock() { start_ = GetTickCount64(); }
    ULONGLONG Elapsed() const { return GetTickCount64() - start_; }

    void Print(const std::string& fact) const { PrintLine(std::to_string(Elapsed()) + " " + fact); }

    // One look at the program's windows: notes new ones, prints what changed,
    // reads and (if asked) dismisses message boxes. True while any is there.
    bool Look(bool dismiss, std::vector<Action>& actions);

    bool SeenAny() const { return seenAny_; }

    // The state a moment is compared with.
    bool Holds(const Moment& moment) const;

    // Everything of ours on the screen now: the progress window and the boxes.
    RECT VisibleArea() const;
    void TakeScreenshot(Action& action);

    HWND Progress() const {
        for (const auto& followed : followed_) {
            if (followed.isProgress) {
                return followed.window;
            }
        }
        return nullptr;
    }

  private:
    void NoteNewWindows();
    void LookAtProgress(Followed& followed);
    void ReadMessageBox(HWND box, bool dismiss, std::vector<Action>& actions);

    HWND main_;
    WindowSelector ours_;  // the visible dialogs of its process with its caption
    ULONGLONG start_ = 0;
    std::vector<Followed> followed_;
    bool seenAny_ = false;
    int messagesRead_ = 0;
};

void Watch::NoteNewWindows() {
    for (HWND window : MatchingWindows(ours_)) {
        // Without an address dialog (/ip:), SEL is the progress window itself,
        // and it is followed like any other.
        bool known = window == main_ && !IsProgressWindow(main_);
        for (const auto& followed : followed_) {
            known = known || followed.window == window;
        }
        if (known) {
            continue;
        }
        const bool isProgress = IsProgressWindow(window);
        followed_.push_back({window, isProgress, {}, false});
        seenAny_ = true;
        if (isProgress) {
            Print("progress-window=" + HandleText(window));
        }
    }
}

void Watch::LookAtProgress(Followed& followed) {
    HWND window = followed.window;
    ProgressView& shown = followed.shown;
    RECT rect{};
    GetWindowRect(window, &rect);
    const std::string rectText = RectText(rect);
    if (shown.rect != rectText) {
        shown.rect = rectText;
        Print("rect=" + rectText);
    }
    const bool visible = IsWindowVisible(window) != FALSE;
    if (shown.visible != visible) {
        shown.visible = visible;
        Print(std::string("visible=") + (visible ? "1" : "0"));
    }
    // Read in the reverse of the order in which the program changes them
    // (status text, then the bar, then 中止), printed in that order: a change
    // that happens between two reads then shows up on the next look, never
    // ahead of a change the program made before it.
    HWND cancel = FindControl(window, IDC_ABORT_BUTTON);
    const bool enabled = cancel != nullptr && IsWindowEnabled(cancel);
    const auto position = ProgressPosition(FindControl(window, IDC_PROGRESS_BAR));
    const auto status = ControlText(FindControl(window, IDC_STATUS_TEXT), kReadTimeoutMs);
    if (status && shown.status != *status) {
        shown.status = *status;
        Print("status=" + OneLine(*status));
    }
    if (position && shown.position != *position) {
        shown.position = *position;
        Print("position=" + std::to_string(*position));
    }
    if (shown.cancelEnabled != enabled) {
        shown.cancelEnabled = enabled;
        Print(std::string("cancel=") + (enabled ? "enabled" : "disabled"));
    }
}

void Watch::ReadMessageBox(HWND box, bool dismiss, std::vector<Action>& actions) {
    // The icon is read from the screen, so the box must have been painted:
    // read until two readings a little apart agree, for a second at most
    // (scaled, as every wait is).
    std::string icon;
    for (long long attempt = 0; attempt < 20 * WaitScale(); ++attempt) {
        RepaintNow(box, AnswerTimeoutMs());
        Sleep(50);
        const std::string reading = MessageIconKind(box);
        if (reading == icon) {
            break;
        }
        icon = reading;
    }
    const auto text = ControlText(FindControl(box, kMessageTextId));
    Print("message icon=" + icon + " text=" + (text ? OneLine(*text) : "?"));
    ++messagesRead_;
    for (auto& action : actions) {
        if (!action.done && action.kind == Action::Kind::Screenshot && Holds(action.moment)) {
            TakeScreenshot(action);
        }
    }
    if (dismiss) {
        PressMessageBoxButton(box);
        Print("action=dismiss");
    }
}

bool Watch::Look(bool dismiss, std::vector<Action>& actions) {
    NoteNewWindows();
    for (auto it = followed_.begin(); it != followed_.end();) {
        if (!IsWindow(it->window)) {
            Print(it->isProgress ? "gone=progress-window" : "gone=message");
            it = followed_.erase(it);
            continue;
        }
        ++it;
    }
    // Indexes, not iterators: reading a box may let new windows be noted.
    for (std::size_t i = 0; i < followed_.size(); ++i) {
        if (followed_[i].isProgress) {
            LookAtProgress(followed_[i]);
        } else if (!followed_[i].read) {
            followed_[i].read = true;
            ReadMessageBox(followed_[i].window, dismiss, actions);
        }
    }
    return !followed_.empty();
}

bool Watch::Holds(const Moment& moment) const {
    if (moment.key == L"ms") {
        return static_cast<long long>(Elapsed()) >= *ParseNumber(moment.value);
    }
    if (moment.key == L"message") {
        return messagesRead_ > 0;
    }
    for (const auto& followed : followed_) {
        if (!followed.isProgress) {
            continue;
        }
        const ProgressView& shown = followed.shown;
        if (moment.key == L"status") {
            return shown.status == moment.value;
        }
        if (moment.key == L"position") {
            return shown.position == ParseNumber(moment.value);
        }
        if (moment.key == L"cancel") {
            return shown.cancelEnabled &&
                   (*shown.cancelEnabled ? L"enabled" : L"disabled") == moment.value;
        }
    }
    return false;
}

RECT Watch::VisibleArea() const {
    RECT area{};
    for (const auto& followed : followed_) {
        RECT rect{};
        if (IsWindowVisible(followed.window) && GetWindowRect(followed.window, &rect)) {
            UnionRect(&area, &area, &rect);
        }
    }
    return area;
}

void Watch::TakeScreenshot(Action& action) {
    action.done = true;
    for (const auto& followed : followed_) {
        RepaintNow(followed.window, kReadTimeoutMs);
    }
    const ScreenPicture picture = CaptureScreen(VisibleArea());
    if (picture.pixels.empty() || !WriteBmp(WindowsPathFromHost(action.out), picture)) {
        Print("screenshot-failed=" + Utf8FromWide(action.out));
        return;
    }
    Print("screenshot=" + Utf8FromWide(action.out));
}

// Acts on the progress window at the moments asked for, each action once.
void ActAtMoments(Watch& watch, std::vector<Action>& actions) {
    for (auto& action : actions) {
        if (action.done || !watch.Holds(action.moment)) {
            continue;
        }
        HWND progress = watch.Progress();
        if (progress == nullptr && action.kind != Action::Kind::Screenshot) {
            continue;  // not yet, or no longer: nothing to click
        }
        switch (action.kind) {
            case Action::Kind::Cancel:
                action.done = true;
                ClickButton(progress, IDC_ABORT_BUTTON);
                watch.Print("action=cancel");
                break;
            case Action::Kind::Close:
                // What a click on the close box sends.
                action.done = true;
                PostMessageW(progress, WM_SYSCOMMAND, SC_CLOSE, 0);
                watch.Print("action=close");
                break;
            case Action::Kind::Screenshot:
                if (action.moment.key != L"message") {  // those are taken with the box
                    watch.TakeScreenshot(action);
                }
                break;
        }
    }
}

bool ReadActions(const Arguments& arguments, std::vector<Action>& actions, std::string& error) {
    const auto add = [&](Action::Kind kind, const std::wstring& when, std::wstring out) {
        const auto moment = ReadMoment(when, error);
        if (moment) {
            actions.push_back({kind, *moment, std::move(out)});
        }
        return moment.has_value();
    };
    for (const auto& when : arguments.Values(L"cancel-at")) {
        if (!add(Action::Kind::Cancel, when, {})) {
            return false;
        }
    }
    for (const auto& when : arguments.Values(L"close-at")) {
        if (!add(Action::Kind::Close, when, {})) {
            return false;
        }
    }
    const auto moments = arguments.Values(L"screenshot-at");
    const auto outs = arguments.Values(L"screenshot-out");
    if (moments.size() != outs.size()) {
        error = "each --screenshot-at needs its --screenshot-out FILE.bmp";
        return false;
    }
    for (std::size_t i = 0; i < moments.size(); ++i) {
        if (!add(Action::Kind::Screenshot, moments[i], outs[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

// watch SELECTOR [--click-start] [--dismiss] [--cancel-at WHEN] [--close-at WHEN]
//       [--screenshot-at WHEN --screenshot-out FILE.bmp]... [--timeout MS] [--poll MS]
// SELECTOR picks the address dialog, or the progress window of a program that
// has none (/ip:). Follows the other windows of its process
// with its caption (the progress window and the message boxes) until all that
// appeared are gone, printing one line per change as it happens, each led by
// the milliseconds since the watch began (since the click with --click-start).
// See README.md for the lines and the moments.
int WatchCommand(const Arguments& arguments, HWND main) {
    std::string error;
    std::vector<Action> actions;
    if (!ReadActions(arguments, actions, error)) {
        return Fail(error);
    }
    const long long timeout = arguments.WaitMs(L"timeout", kDefaultWatchTimeoutMs);
    const long long poll = arguments.NumberOr(L"poll", kDefaultWatchPollMs);
    DWORD processId = 0;
    GetWindowThreadProcessId(main, &processId);
    Watch watch(main, processId);
    const bool dismiss = arguments.Has(L"dismiss");

    watch.StartClock();
    if (arguments.Has(L"click-start")) {
        if (!ClickButton(main, IDC_START_BUTTON)) {
            return Fail("could not click the start button");
        }
        watch.Print("action=click-start");
    }
    for (;;) {
        const bool anyThere = watch.Look(dismiss, actions);
        if (watch.SeenAny() && !anyThere) {
            watch.Print("end");
            return 0;
        }
        if (!watch.SeenAny() && !IsWindow(main)) {
            watch.Print("end");
            return Fail("the address dialog went away and nothing else appeared");
        }
        ActAtMoments(watch, actions);
        if (static_cast<long long>(watch.Elapsed()) >= timeout) {
            watch.Print("timeout");
            return Fail("the windows were still there after " + std::to_string(timeout) + " ms");
        }
        Sleep(static_cast<DWORD>(poll));
    }
}
