// The moments of one update, to the millisecond, for the benchmarks: when the
// progress window and each message box appear and go, when we clicked, and
// how much memory the program held meanwhile. Unlike `watch`, it reads no
// control text while the update runs and looks every millisecond, so what it
// prints is when things happened, not when a slower look noticed them.

#include <windows.h>

#include <timeapi.h>

#include <string>
#include <vector>

#include "bench_commands.h"
#include "output.h"
#include "process_figures.h"
#include "program_windows.h"
#include "window_search.h"

namespace {

constexpr UINT kReadTimeoutMs = 100;
constexpr DWORD kDefaultTimelineTimeoutMs = 90000;
constexpr int kLooksPerMemoryReading = 20;  // about every 20 ms at the default poll

struct Tracked {
    HWND window;
    bool isProgress;
    bool shown = false;      // its "visible" line is printed
    bool hidden = false;     // progress window: its "hidden" line is printed
    long long shownAt = 0;   // wall clock, microseconds
    bool dismissed = false;  // message box
};

void Note(const std::string& fact) {
    PrintLine(std::to_string(WallClockMicros()) + " " + fact);
}

class Timeline {
  public:
    Timeline(HWND main, std::wstring title, HANDLE process, DWORD processId)
        : main_(main), title_(std::move(title)), process_(process), processId_(processId) {}

    void Look();
    void Act(long long cancelAtMs, long long dismissAfterMs);
    void ReadMemory();

    bool SeenAny() const { return seenAny_; }
    bool AnyLeft() const { return !tracked_.empty(); }
    bool MainGone() const { return !IsWindow(main_); }
    void PrintMemory() const {
        if (memoryRead_) {
            Note("memory " + MemoryFiguresText(memory_));
        }
    }

  private:
    void NoteNewWindows();

    HWND main_;
    std::wstring title_;
    HANDLE process_;
    DWORD processId_;
    std::vector<Tracked> tracked_;
    bool seenAny_ = false;
    bool cancelled_ = false;
    long long progressShownAt_ = 0;
    bool memoryRead_ = false;
    MemoryFigures memory_{};  // the largest of each figure seen so far
};

// FindWindowEx rather than EnumWindows: one question to the window server per
// window of our class and caption, which keeps a look every millisecond cheap.
// A window is told apart by its controls, so it is noted once it has them: the
// progress window carries its caption from the start, before its controls.
void Timeline::NoteNewWindows() {
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, L"#32770", title_.c_str())) != nullptr) {
        if (window == main_) {
            continue;
        }
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        if (processId != processId_) {
            continue;
        }
        bool known = false;
        for (const auto& tracked : tracked_) {
            known = known || tracked.window == window;
        }
        if (known) {
            continue;
        }
        const bool isProgress = IsProgressWindow(window);
        if (!isProgress && FindControl(window, kMessageTextId) == nullptr) {
            continue;
        }
        tracked_.push_back({window, isProgress});
        seenAny_ = true;
        Note(std::string(isProgress ? "progress-created " : "message-created ") +
             HandleText(window));
    }
}

void Timeline::Look() {
    NoteNewWindows();
    for (auto it = tracked_.begin(); it != tracked_.end();) {
        if (!IsWindow(it->window)) {
            Note(it->isProgress ? "progress-gone" : "message-gone");
            it = tracked_.erase(it);
            continue;
        }
        const bool visible = IsWindowVisible(it->window) != FALSE;
        if (visible && !it->shown) {
            it->shown = true;
            it->shownAt = WallClockMicros();
            if (it->isProgress) {
                progressShownAt_ = it->shownAt;
                Note("progress-visible");
            } else {
                // Read after the moment is printed: the text is not part of it.
                Note("message-visible");
                PrintMemory();
                const auto text =
                    ControlText(FindControl(it->window, kMessageTextId), kReadTimeoutMs);
                Note("message-text " + (text ? OneLine(*text) : "?"));
            }
        } else if (!visible && it->shown && it->isProgress && !it->hidden) {
            it->hidden = true;
            Note("progress-hidden");
        }
        ++it;
    }
}

void Timeline::Act(long long cancelAtMs, long long dismissAfterMs) {
    const long long now = WallClockMicros();
    for (auto& tracked : tracked_) {
        if (tracked.isProgress && tracked.shown && cancelAtMs >= 0 && !cancelled_ &&
            now - tracked.shownAt >= cancelAtMs * 1000) {
            cancelled_ = true;
            // Printed first: the click counts from the moment it is posted.
            Note("cancel");
            ClickButton(tracked.window, IDC_ABORT_BUTTON);
        }
        if (!tracked.isProgress && tracked.shown && dismissAfterMs >= 0 && !tracked.dismissed &&
            now - tracked.shownAt >= dismissAfterMs * 1000) {
            tracked.dismissed = true;
            Note("dismiss");
            PressMessageBoxButton(tracked.window);
        }
    }
}

void Timeline::ReadMemory() {
    const auto figures = ReadMemoryFigures(process_);
    if (!figures) {
        return;
    }
    const auto larger = [](SIZE_T& kept, SIZE_T seen) { kept = seen > kept ? seen : kept; };
    larger(memory_.workingSet, figures->workingSet);
    larger(memory_.peakWorkingSet, figures->peakWorkingSet);
    larger(memory_.privateBytes, figures->privateBytes);
    larger(memory_.peakPagefileUsage, figures->peakPagefileUsage);
    memoryRead_ = true;
}

}  // namespace

// timeline SELECTOR [--click-start] [--cancel-at-ms N] [--dismiss-after-ms N] [--timeout MS]
//          [--poll MS]
// SELECTOR picks the address dialog. Follows the other windows of its process
// with its caption, looking every --poll ms (1; more where the looks' own cost
// would disturb what is measured), and prints one line per moment,
// led by the wall-clock time in microseconds since 1970:
//   click-start                    it posted a click on 開始
//   progress-created H, progress-visible, progress-hidden, progress-gone
//   message-created H, message-visible, message-gone
//   message-text TEXT              the box's message (read after message-visible)
//   memory FIGURES                 the largest memory figures of the process
//                                  until a message box showed (read every 20 looks)
//   cancel                         it posted a click on 中止, N ms after the
//                                  progress window showed (--cancel-at-ms)
//   dismiss                        it pressed OK, N ms after a box showed
//                                  (--dismiss-after-ms; without it nobody does)
//   end                            all those windows are gone
int TimelineCommand(const Arguments& arguments, HWND main) {
    const long long cancelAtMs = arguments.NumberOr(L"cancel-at-ms", -1);
    const long long dismissAfterMs = arguments.NumberOr(L"dismiss-after-ms", -1);
    const long long timeoutMs = arguments.NumberOr(L"timeout", kDefaultTimelineTimeoutMs);
    const long long pollMs = arguments.NumberOr(L"poll", 1);
    DWORD processId = 0;
    GetWindowThreadProcessId(main, &processId);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    Timeline timeline(main, WindowTitle(main), process, processId);

    // Looks a millisecond apart, as far as the system's timer allows.
    timeBeginPeriod(1);
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    if (arguments.Has(L"click-start")) {
        Note("click-start");
        if (!ClickButton(main, IDC_START_BUTTON)) {
            return Fail("could not click the start button");
        }
    }
    int status = 0;
    for (int look = 0;; ++look) {
        timeline.Look();
        if (timeline.SeenAny() && !timeline.AnyLeft()) {
            Note("end");
            break;
        }
        if (!timeline.SeenAny() && timeline.MainGone()) {
            status = Fail("the address dialog went away and nothing else appeared");
            break;
        }
        timeline.Act(cancelAtMs, dismissAfterMs);
        if (process != nullptr && look % kLooksPerMemoryReading == 0) {
            timeline.ReadMemory();
        }
        if (GetTickCount64() >= deadline) {
            Note("timeout");
            status =
                Fail("the windows were still there after " + std::to_string(timeoutMs) + " ms");
            break;
        }
        Sleep(static_cast<DWORD>(pollMs));
    }
    timeEndPeriod(1);
    if (process != nullptr) {
        CloseHandle(process);
    }
    return status;
}
