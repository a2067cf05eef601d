// Following one update from outside, as it happens: EthBoxVup's progress
// window and its message boxes, from the moment they are shown until they are
// gone, and acting on them at given moments as a user would. Nothing is
// looked at: the watch hook in the program's GUI thread tells every change
// as it is made (watch_channel.h), however briefly it lasts.

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "host_path.h"
#include "output.h"
#include "program_windows.h"
#include "screen_capture.h"
#include "watch_channel.h"
#include "window_search.h"
#include "window_text.h"

using watch_channel::Record;

namespace {

constexpr DWORD kDefaultWatchTimeoutMs = 60000;

// What was last printed about the progress window.
struct ProgressView {
    std::optional<std::string> rect;
    std::optional<bool> visible;
    std::optional<std::wstring> status;
    std::optional<long long> position;
    std::optional<bool> cancelEnabled;
};

struct Followed {
    HWND window;
    bool isProgress;     // otherwise a message box
    ProgressView shown;  // progress window only
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

std::string IconName(watch_channel::Icon icon) {
    switch (icon) {
        case watch_channel::Icon::None:
            return "none";
        case watch_channel::Icon::Exclamation:
            return "exclamation";
        case watch_channel::Icon::Stop:
            return "stop";
        case watch_channel::Icon::Other:
            break;
    }
    return "other";
}

class Watch {
  public:
    Watch(HWND mainWindow, std::vector<Action> actions, bool dismiss)
        : main_(mainWindow), actions_(std::move(actions)), dismiss_(dismiss) {}

    void StartClock() { start_ = GetTickCount64(); }
    long long Elapsed() const { return static_cast<long long>(GetTickCount64() - start_); }
    void Print(const std::string& fact) const { PrintAt(GetTickCount64(), fact); }

    // Follows a window from the first record that shows it shown, printing
    // what changed with the time it changed.
    void Apply(const Record& record);
    // The program has ended, and its windows with it.
    void AllGone();
    // Acts at the moments that hold now, each action once.
    void Act();
    // Milliseconds until the next ms= moment, or INFINITE.
    DWORD UntilNextMoment() const;

    bool SeenAny() const { return seenAny_; }
    bool AnyFollowed() const { return !followed_.empty(); }
    bool MainGone() const { return mainGone_; }

  private:
    void PrintAt(ULONGLONG tickMs, const std::string& fact) const {
        PrintLine(std::to_string(static_cast<long long>(tickMs - start_)) + " " + fact);
    }
    void NoteProgress(ProgressView& shown, const Record& record) const;
    void ReadMessageBox(HWND box, const Record& record);
    bool Holds(const Moment& moment) const;
    HWND Progress() const;
    RECT VisibleArea() const;
    void TakeScreenshot(Action& action);

    HWND main_;
    std::vector<Action> actions_;
    bool dismiss_;
    ULONGLONG start_ = 0;
    std::vector<Followed> followed_;
    bool seenAny_ = false;
    bool mainGone_ = false;
    int messagesRead_ = 0;
};

template <typename T>
void Note(std::optional<T>& shown, const T& now, const std::string& line,
          std::vector<std::string>& lines) {
    if (shown != now) {
        shown = now;
        lines.push_back(line);
    }
}

void Watch::NoteProgress(ProgressView& shown, const Record& record) const {
    const RECT rect{record.rect[0], record.rect[1], record.rect[2], record.rect[3]};
    const std::wstring status = record.text;
    std::vector<std::string> lines;
    Note(shown.rect, RectText(rect), "rect=" + RectText(rect), lines);
    Note(shown.visible, record.visible != 0, "visible=" + std::to_string(record.visible), lines);
    Note(shown.status, status, "status=" + OneLine(status), lines);
    Note(shown.position, static_cast<long long>(record.position),
         "position=" + std::to_string(record.position), lines);
    Note(shown.cancelEnabled, record.cancelEnabled != 0,
         std::string("cancel=") + (record.cancelEnabled != 0 ? "enabled" : "disabled"), lines);
    for (const auto& line : lines) {
        PrintAt(record.tickMs, line);
    }
}

void Watch::Apply(const Record& record) {
    HWND window = static_cast<HWND>(ULongToHandle(record.window));
    const auto followed = std::find_if(followed_.begin(), followed_.end(),
                                       [&](const Followed& one) { return one.window == window; });
    if (record.event == watch_channel::Event::Destroyed) {
        mainGone_ = mainGone_ || window == main_;
        if (followed != followed_.end()) {
            PrintAt(record.tickMs, followed->isProgress ? "gone=progress-window" : "gone=message");
            followed_.erase(followed);
        }
        return;
    }
    if (followed != followed_.end()) {
        if (followed->isProgress) {
            NoteProgress(followed->shown, record);
        }
        return;
    }
    // Without an address dialog (/ip:), the main window is the progress
    // window itself, and it is followed like any other.
    const bool isProgress = record.kind == watch_channel::Kind::Progress;
    if (record.visible == 0 || record.kind == watch_channel::Kind::Other ||
        (window == main_ && !isProgress)) {
        return;
    }
    followed_.push_back({window, isProgress, {}});
    seenAny_ = true;
    if (isProgress) {
        PrintAt(record.tickMs, "progress-window=" + HandleText(window));
        NoteProgress(followed_.back().shown, record);
    } else {
        ReadMessageBox(window, record);
    }
}

void Watch::ReadMessageBox(HWND box, const Record& record) {
    PrintAt(record.tickMs,
            "message icon=" + IconName(record.icon) + " text=" + OneLine(record.text));
    ++messagesRead_;
    for (auto& action : actions_) {
        if (!action.done && action.kind == Action::Kind::Screenshot && Holds(action.moment)) {
            TakeScreenshot(action);
        }
    }
    if (dismiss_) {
        PressMessageBoxButton(box);
        Print("action=dismiss");
    }
}

void Watch::AllGone() {
    for (const auto& followed : followed_) {
        Print(followed.isProgress ? "gone=progress-window" : "gone=message");
    }
    followed_.clear();
    mainGone_ = true;
}

HWND Watch::Progress() const {
    for (const auto& followed : followed_) {
        if (followed.isProgress) {
            return followed.window;
        }
    }
    return nullptr;
}

bool Watch::Holds(const Moment& moment) const {
    if (moment.key == L"ms") {
        return Elapsed() >= *ParseNumber(moment.value);
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

DWORD Watch::UntilNextMoment() const {
    long long until = INFINITE;
    for (const auto& action : actions_) {
        if (!action.done && action.moment.key == L"ms") {
            until = std::min(until, std::max(0LL, *ParseNumber(action.moment.value) - Elapsed()));
        }
    }
    return static_cast<DWORD>(until);
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
        RepaintNow(followed.window, AnswerTimeoutMs());
    }
    const ScreenPicture picture = CaptureScreen(VisibleArea());
    if (picture.pixels.empty() || !WriteBmp(WindowsPathFromHost(action.out), picture)) {
        Print("screenshot-failed=" + Utf8FromWide(action.out));
        return;
    }
    Print("screenshot=" + Utf8FromWide(action.out));
}

void Watch::Act() {
    for (auto& action : actions_) {
        if (action.done || !Holds(action.moment)) {
            continue;
        }
        HWND progress = Progress();
        if (progress == nullptr && action.kind != Action::Kind::Screenshot) {
            continue;  // not yet, or no longer: nothing to click
        }
        switch (action.kind) {
            case Action::Kind::Cancel:
                action.done = true;
                ClickButton(progress, IDC_ABORT_BUTTON);
                Print("action=cancel");
                break;
            case Action::Kind::Close:
                // What a click on the close box sends.
                action.done = true;
                PostMessageW(progress, WM_SYSCOMMAND, SC_CLOSE, 0);
                Print("action=close");
                break;
            case Action::Kind::Screenshot:
                if (action.moment.key != L"message") {  // those are taken with the box
                    TakeScreenshot(action);
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
//       [--screenshot-at WHEN --screenshot-out FILE.bmp]... [--timeout MS]
// SELECTOR picks the address dialog, or the progress window of a program that
// has none (/ip:). Follows the other windows of its thread (the progress
// window and the message boxes) from when they are shown until all are gone,
// printing one line per change, each led by the milliseconds from the watch's
// start (from the click with --click-start) to the change. See README.md for
// the lines and the moments.
int WatchCommand(const Arguments& arguments, HWND main) {
    std::string error;
    std::vector<Action> actions;
    if (!ReadActions(arguments, actions, error)) {
        return Fail(error);
    }
    const long long timeout = arguments.WaitMs(L"timeout", kDefaultWatchTimeoutMs);
    DWORD processId = 0;
    const DWORD threadId = GetWindowThreadProcessId(main, &processId);
    HANDLE program = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    WatchChannel channel;
    if (program == nullptr || !channel.Connect(program, threadId, error)) {
        return Fail(program == nullptr ? "cannot open the program's process" : error);
    }
    Watch watch(main, std::move(actions), arguments.Has(L"dismiss"));
    watch.StartClock();
    // What is there already: the hook answers with every window of the thread.
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutW(main, watch_channel::SnapshotMessage(), 0, 0, SMTO_ABORTIFHUNG,
                             AnswerTimeoutMs(), &ignored)) {
        return Fail("the program did not answer");
    }
    if (arguments.Has(L"click-start")) {
        watch.StartClock();
        if (!ClickButton(main, IDC_START_BUTTON)) {
            return Fail("could not click the start button");
        }
        watch.Print("action=click-start");
    }
    std::vector<Record> records;
    bool programEnded = false;
    for (;;) {
        records.clear();
        if (!channel.Take(records, error)) {
            return Fail(error);
        }
        for (const auto& record : records) {
            watch.Apply(record);
            watch.Act();
        }
        if (programEnded) {
            watch.AllGone();
        }
        watch.Act();
        if (watch.SeenAny() && !watch.AnyFollowed()) {
            watch.Print("end");
            return 0;
        }
        if (!watch.SeenAny() && watch.MainGone()) {
            watch.Print("end");
            return Fail("the address dialog went away and nothing else appeared");
        }
        if (watch.Elapsed() >= timeout) {
            watch.Print("timeout");
            return Fail("the windows were still there after " + std::to_string(timeout) + " ms");
        }
        const HANDLE handles[] = {channel.Ready(), program};
        const DWORD wait =
            std::min(static_cast<DWORD>(timeout - watch.Elapsed()), watch.UntilNextMoment());
        programEnded = WaitForMultipleObjects(2, handles, FALSE, wait) == WAIT_OBJECT_0 + 1;
    }
}
