// The watch hook. The system loads this DLL into the program the driver
// watches and calls WatchHookProcedure in the program's GUI thread right after
// each message a window there has handled (WH_CALLWNDPROCRET). After each
// message that may change what a window shows, the hook writes the window's
// whole state, read there and then, into the watch channel: no change is too
// short to be seen. It never waits for the driver; a record the ring has no
// room for is counted as lost, and the driver fails on it.

#include <windows.h>

#include <commctrl.h>

#include <cstdio>

#include "resource.h"
#include "watch_channel_layout.h"

using namespace watch_channel;

namespace {

HINSTANCE self;

struct Channel {
    Ring* ring = nullptr;
    HANDLE ready = nullptr;
};

// The channel of process `processId`, its handles never closed: a name lives
// as long as a handle to it, and a later watch of the same program must find
// under it the ring that the hook goes on writing.
Channel OpenChannel(DWORD processId) {
    HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, RingName(processId).c_str());
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, ReadyEventName(processId).c_str());
    void* view =
        mapping != nullptr ? MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(Ring)) : nullptr;
    return view != nullptr && ready != nullptr ? Channel{static_cast<Ring*>(view), ready}
                                               : Channel{};
}

// A message box's text (the static 65535) and its icon (the static showing one).
BOOL CALLBACK NoteMessageControl(HWND child, LPARAM context) {
    auto* controls = reinterpret_cast<HWND*>(context);
    if ((GetDlgCtrlID(child) & 0xFFFF) == 0xFFFF && controls[0] == nullptr) {
        controls[0] = child;
    } else if ((GetWindowLongW(child, GWL_STYLE) & (SS_TYPEMASK | WS_VISIBLE)) ==
               (SS_ICON | WS_VISIBLE)) {
        controls[1] = child;
    }
    return TRUE;
}

// A message the hook sent would go through the hooks again, and so to the
// server, at each change: the control's own procedure answers it instead,
// in this thread, as SendMessage would.
LRESULT Ask(HWND control, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    const auto procedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(control, GWLP_WNDPROC));
    return procedure != nullptr ? CallWindowProcW(procedure, control, message, wParam, lParam) : 0;
}

// Icon handles mean something only in the process that loaded them: here,
// next to the system's icons as this process loads them, they tell the icon.
Icon IconOf(HWND control) {
    const auto icon = reinterpret_cast<HICON>(Ask(control, STM_GETICON));
    return control == nullptr || icon == nullptr         ? Icon::None
           : icon == LoadIconW(nullptr, IDI_EXCLAMATION) ? Icon::Exclamation
           : icon == LoadIconW(nullptr, IDI_HAND)        ? Icon::Stop
                                                         : Icon::Other;
}

void Fill(Record& record, HWND window, Event event) {
    // The last progress window's controls, kept: finding them asks the
    // server, which would cost the program time at every change.
    static HWND progress = nullptr;
    static HWND status = nullptr;
    static HWND bar = nullptr;
    static HWND cancel = nullptr;
    if (window != progress) {
        status = GetDlgItem(window, IDC_STATUS_TEXT);
        bar = GetDlgItem(window, IDC_PROGRESS_BAR);
        cancel = GetDlgItem(window, IDC_ABORT_BUTTON);
        progress = status != nullptr && bar != nullptr ? window : nullptr;
    }
    HWND text = status;
    wchar_t className[8] = {};
    record = Record{};
    record.tickMs = GetTickCount64();
    record.window = HandleToULong(window);
    record.event = event;
    if (progress != nullptr) {
        record.kind = Kind::Progress;
        record.position = static_cast<std::int32_t>(Ask(bar, PBM_GETPOS));
        record.cancelEnabled = IsWindowEnabled(cancel) ? 1 : 0;
    } else if (GetClassNameW(window, className, 8) && lstrcmpW(className, L"#32770") == 0) {
        HWND controls[2] = {};
        EnumChildWindows(window, NoteMessageControl, reinterpret_cast<LPARAM>(controls));
        record.kind = Kind::Dialog;
        record.icon = IconOf(controls[1]);
        text = controls[0];
    }
    record.visible = IsWindowVisible(window) ? 1 : 0;
    GetWindowRect(window, &record.rect);
    if (record.kind != Kind::Other && text != nullptr) {
        // A text that fills the record may have been cut: the driver refuses it.
        const auto copied = static_cast<std::uint32_t>(
            Ask(text, WM_GETTEXT, kTextCapacity, reinterpret_cast<LPARAM>(record.text)));
        record.textLength = copied + 1 < kTextCapacity ? copied : kTextCapacity;
    }
    if (event == Event::Destroyed && window == progress) {
        progress = nullptr;  // its handle may go to another window
    }
}

void Write(HWND window, Event event) {
    static Channel channel;
    if (channel.ring == nullptr && (channel = OpenChannel(GetCurrentProcessId())).ring == nullptr) {
        return;  // no watch has asked for it
    }
    Ring& ring = *channel.ring;
    const LONG written = ring.written;
    if (static_cast<std::uint32_t>(written - ring.read) >= kCapacity) {
        InterlockedIncrement(&ring.lost);
        SetEvent(channel.ready);
        return;
    }
    Fill(ring.records[static_cast<std::uint32_t>(written) % kCapacity], window, event);
    InterlockedExchange(&ring.written, written + 1);  // a barrier: the record comes first
    // A driver that had read everything before this record may be waiting
    // for it; one still reading finds it before it waits (WatchChannel::Take).
    if (ring.read == written) {
        SetEvent(channel.ready);
    }
}

BOOL CALLBACK WritePresent(HWND window, LPARAM) {
    Write(window, Event::Present);
    return TRUE;
}

}  // namespace

// Reads the window, never the message's parameters: those of a message sent
// from another process may be gone once it has been handled.
extern "C" __declspec(dllexport) LRESULT CALLBACK
    WatchHookProcedure(int code, WPARAM wParam, LPARAM lParam) {
    static const UINT snapshot = SnapshotMessage();
    const auto& message = *reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    HWND topLevel = code == HC_ACTION ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    const bool ofTopLevel = topLevel == message.hwnd;
    switch (topLevel != nullptr ? message.message : WM_NULL) {
        case WM_SETTEXT:
        case WM_ENABLE:
        case PBM_SETRANGE:
        case PBM_SETPOS:
        case PBM_DELTAPOS:
        case PBM_STEPIT:
        case PBM_SETRANGE32:
            Write(topLevel, Event::Changed);
            break;
        case WM_WINDOWPOSCHANGED:  // moved, shown or hidden
        case WM_INITDIALOG:
        case WM_DESTROY:
            if (ofTopLevel) {
                Write(topLevel, message.message == WM_DESTROY ? Event::Destroyed : Event::Changed);
            }
            break;
        default:
            if (message.message == snapshot && topLevel != nullptr) {
                EnumThreadWindows(GetCurrentThreadId(), WritePresent, 0);
            }
            break;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// For the 64-bit driver and a 32-bit program, run by the 32-bit rundll32:
// "rundll32 ethbox-watch-hook.dll,HoldWatchHook THREAD PROCESS DRIVER" sets
// the hook on thread THREAD of process PROCESS, says in that process's ring
// whether it could, and holds the hook until process DRIVER ends.
extern "C" __declspec(dllexport) void CALLBACK HoldWatchHook(HWND, HINSTANCE, LPSTR line, int) {
    unsigned long thread = 0;
    unsigned long process = 0;
    unsigned long driver = 0;
    const Channel channel = std::sscanf(line, "%lu %lu %lu", &thread, &process, &driver) == 3
                                ? OpenChannel(process)
                                : Channel{};
    HANDLE driverProcess = OpenProcess(SYNCHRONIZE, FALSE, driver);
    if (channel.ring == nullptr || driverProcess == nullptr) {
        return;
    }
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROCRET, WatchHookProcedure, self, thread);
    channel.ring->hookError = hook != nullptr ? 0 : static_cast<LONG>(GetLastError());
    InterlockedExchange(&channel.ring->hookState, hook != nullptr ? 1 : -1);
    SetEvent(channel.ready);
    WaitForSingleObject(driverProcess, hook != nullptr ? INFINITE : 0);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        self = instance;
    }
    return TRUE;
}
