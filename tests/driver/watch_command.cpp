// Following one update from outside, as it happens: EthBoxVup's progress
// window and its message boxes, from when they are shown until they are gone,
// and acting on them at given moments as a user would. Nothing is looked at:
// the watch hook in the program's GUI thread tells every change as it is
// made (watch_channel.h), however briefly it lasts.

#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
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

struct Followed {
    HWND window;
    bool isProgress;  // otherwise a message box
    // Progress window: what was last printed of each fact, as printed.
    std::map<std::string, std::string> shown;
};

// A moment to act at: "status=TEXT", "position=N", "cancel=enabled" or
// "cancel=disabled" (as the watch prints them), "message" (a message box has
// been read) or "ms=N".
struct Action {
    enum class Kind { Cancel, Close, Screenshot } kind;
    std::string key;
    std::string value;
    std::wstring out;  // screenshots only
    bool done = false;
};

bool ReadMoment(const std::wstring& text, Action& action, std::string& error) {
    const std::string moment = Utf8FromWide(text);
    const auto equals = moment.find('=');
    action.key = moment.substr(0, equals);
    action.value = equals == std::string::npos ? "" : moment.substr(equals + 1);
    const bool number = action.key == "position" || action.key == "ms";
    if (equals == std::string::npos ? action.key == "message"
                                    : (number && ParseNumber(text.substr(equals + 1))) ||
                                          action.key == "status" || action.key == "cancel") {
        return true;
    }
    error = "not a moment: " + moment +
            " (status=TEXT, position=N, cancel=enabled|disabled, message, ms=N)";
    return false;
}

class Watch {
  public:
    Watch(HWND mainWindow, std::vector<Action> actions, bool dismiss)
        : main_(mainWindow), actions_(std::move(actions)), dismiss_(dismiss) {}

    void StartClock() { start_ = GetTickCount64(); }
    long long Elapsed() const { return static_cast<long long>(GetTickCount64() - start_); }
    void Print(const std::string& fact) const { PrintAt(GetTickCount64(), fact); }

    // Follows a window from its first record that has it shown, and prints
    // what changed, at the time it changed.
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
    void NoteProgress(Followed& followed, const Record& record) const;
    void ReadMessageBox(HWND box, const Record& record);
    bool Holds(const Action& action) const;
    HWND Progress() const;
    void TakeScreenshot(Action& action);

    HWND main_;
    std::vector<Action> actions_;
    bool dismiss_;
    ULONGLONG start_ = 0;
    std::vector<Followed> followed_;
    bool seenAny_ = false;
    bool mainGone_ = false;
    bool messageRead_ = false;
};

void Watch::NoteProgress(Followed& followed, const Record& record) const {
    const std::pair<std::string, std::string> facts[] = {
        {"rect", RectText(record.rect)},
        {"visible", std::to_string(record.visible)},
        {"status", OneLine(record.text)},
        {"position", std::to_string(record.position)},
        {"cancel", record.cancelEnabled != 0 ? "enabled" : "disabled"},
    };
    for (const auto& [key, value] : facts) {
        const auto shown = followed.shown.find(key);
        if (shown == followed.shown.end() || shown->second != value) {
            followed.shown[key] = value;
            PrintAt(record.tickMs, key + "=" + value);
        }
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
    } else if (followed != followed_.end()) {
        if (followed->isProgress) {
            NoteProgress(*followed, record);
        }
    } else if (record.visible != 0 &&
               (record.kind == watch_channel::Kind::Progress ||
                (record.kind == watch_channel::Kind::Dialog && window != main_))) {
        // Without an address dialog (/ip:), the main window is the progress
        // window itself, and it is followed like any other.
        seenAny_ = true;
        followed_.push_back({window, record.kind == watch_channel::Kind::Progress, {}});
        if (followed_.back().isProgress) {
            PrintAt(record.tickMs, "progress-window=" + HandleText(window));
            NoteProgress(followed_.back(), record);
        } else {
            ReadMessageBox(window, record);
        }
    }
}

void Watch::ReadMessageBox(HWND box, const Record& record) {
    static const char* const icons[] = {"none", "exclamation", "stop", "other"};
    PrintAt(record.tickMs, std::string("message icon=") + icons[static_cast<int>(record.icon) & 3] +
                               " text=" + OneLine(record.text));
    messageRead_ = true;
    for (auto& action : actions_) {
        if (!action.done && action.kind == Action::Kind::Screenshot && Holds(action)) {
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

bool Watch::Holds(const Action& action) const {
    if (action.key == "ms") {
        return Elapsed() >= std::stoll(action.value, nullptr, 0);
    }
    if (action.key == "message") {
        return messageRead_;
    }
    for (const auto& followed : followed_) {
        const auto shown = followed.shown.find(action.key);
        if (shown != followed.shown.end()) {
            return shown->second == action.value;
        }
    }
    return false;
}

DWORD Watch::UntilNextMoment() const {
    long long until = INFINITE;
    for (const auto& action : actions_) {
        if (!action.done && action.key == "ms") {
            until =
                std::min(until, std::max(0LL, std::stoll(action.value, nullptr, 0) - Elapsed()));
        }
    }
    return static_cast<DWORD>(until);
}

// A picture of our windows on the screen: the progress window and any box.
void Watch::TakeScreenshot(Action& action) {
    action.done = true;
    RECT area{};
    for (const auto& followed : followed_) {
        RECT rect{};
        RepaintNow(followed.window, AnswerTimeoutMs());
        if (IsWindowVisible(followed.window) && GetWindowRect(followed.window, &rect)) {
            UnionRect(&area, &area, &rect);
        }
    }
    const ScreenPicture picture = CaptureScreen(area);
    const bool saved =
        !picture.pixels.empty() && WriteBmp(WindowsPathFromHost(action.out), picture);
    Print((saved ? "screenshot=" : "screenshot-failed=") + Utf8FromWide(action.out));
}

void Watch::Act() {
    for (auto& action : actions_) {
        HWND progress = Progress();
        if (action.done || !Holds(action) ||
            (progress == nullptr && action.kind != Action::Kind::Screenshot)) {
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
                if (action.key != "message") {  // those are taken with the box
                    TakeScreenshot(action);
                }
                break;
        }
    }
}

bool ReadActions(const Arguments& arguments, std::vector<Action>& actions, std::string& error) {
    const auto outs = arguments.Values(L"screenshot-out");
    const std::pair<const wchar_t*, Action::Kind> options[] = {
        {L"cancel-at", Action::Kind::Cancel},
        {L"close-at", Action::Kind::Close},
        {L"screenshot-at", Action::Kind::Screenshot},
    };
    for (const auto& [option, kind] : options) {
        for (const auto& when : arguments.Values(option)) {
            actions.push_back({kind, {}, {}, {}});
            if (!ReadMoment(when, actions.back(), error)) {
                return false;
            }
        }
    }
    const auto screenshots = static_cast<std::size_t>(std::count_if(
        actions.begin(), actions.end(),
        [](const Action& action) { return action.kind == Action::Kind::Screenshot; }));
    if (screenshots != outs.size()) {
        error = "each --screenshot-at needs its --screenshot-out FILE.bmp";
        return false;
    }
    for (std::size_t i = 0; i < screenshots; ++i) {
        actions[actions.size() - screenshots + i].out = outs[i];
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
    for (bool programEnded = false;;) {
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
        // Time may have run out since it was looked at: then one more look.
        const DWORD wait = std::min(static_cast<DWORD>(std::max(0LL, timeout - watch.Elapsed())),
                                    watch.UntilNextMoment());
        programEnded = WaitForMultipleObjects(2, handles, FALSE, wait) == WAIT_OBJECT_0 + 1;
    }
}
