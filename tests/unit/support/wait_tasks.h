#pragma once

#include <functional>
#include <memory>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/posix/posted_tasks.h"
#endif

// Work done from inside a receive wait, as the program's window procedures
// are when the wait dispatches their messages (the cancel button, the closing
// of the window). On Windows each task is a message posted to a window of the
// test's own; on POSIX a posted task, which the wait runs in the same place.
class WaitTasks {
  public:
    using Task = std::function<void()>;

    // On the thread that will wait: its window belongs to this thread.
    WaitTasks();
    ~WaitTasks();
    WaitTasks(const WaitTasks&) = delete;
    WaitTasks& operator=(const WaitTasks&) = delete;

    bool ok() const;

    // From any thread: `task` runs on the waiting thread, from inside the
    // receive wait that is current then (or the next one).
    void Post(Task task);

    // Between waits: runs one task (on Windows, dispatches one message) that
    // waits for this thread, as the receive wait would. False when none waited.
    static bool RunOneWaiting();

  private:
#ifdef _WIN32
    static constexpr UINT kRunTask = WM_APP + 1;
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == kRunTask) {
            const std::unique_ptr<Task> task(reinterpret_cast<Task*>(lParam));
            (*task)();
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
    HWND window_ = nullptr;
#else
    static void Run(void* context) {
        const std::unique_ptr<Task> task(static_cast<Task*>(context));
        (*task)();
    }
#endif
};

#ifdef _WIN32
inline WaitTasks::WaitTasks() {
    static const ATOM windowClass = [] {
        WNDCLASSW description{};
        description.lpfnWndProc = Procedure;
        description.hInstance = GetModuleHandleW(nullptr);
        description.lpszClassName = L"EthBoxTestWaitTasks";
        return RegisterClassW(&description);
    }();
    if (windowClass != 0) {
        window_ = CreateWindowExW(0, L"EthBoxTestWaitTasks", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    }
}

inline bool WaitTasks::ok() const {
    return window_ != nullptr;
}

inline WaitTasks::~WaitTasks() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

inline void WaitTasks::Post(Task task) {
    auto held = std::make_unique<Task>(std::move(task));
    if (window_ != nullptr &&
        PostMessageW(window_, kRunTask, 0, reinterpret_cast<LPARAM>(held.get()))) {
        held.release();  // the window procedure owns it now
    }
}

inline bool WaitTasks::RunOneWaiting() {
    MSG message;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        return false;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
    return true;
}
#else
inline WaitTasks::WaitTasks() = default;
inline WaitTasks::~WaitTasks() = default;

inline bool WaitTasks::ok() const {
    return true;
}

inline void WaitTasks::Post(Task task) {
    PostTask(Run, new Task(std::move(task)));
}

inline bool WaitTasks::RunOneWaiting() {
    return RunOnePostedTask();
}
#endif
