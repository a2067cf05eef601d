// The watch hook. The system loads this DLL into the program the driver
// watches and calls WatchHookProcedure in the program's GUI thread after each
// message a window there has handled (WH_CALLWNDPROCRET). For each message
// that may change what a window shows, the hook writes the window's whole
// state, read there and then, into the watch channel: no change is too short
// to be seen, and none is seen late. It never waits on the driver; a record
// the ring has no room for is counted as lost, and the driver fails on it.

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

// The channel of process `processId`. Its handles are kept open, never
// closed: a name lives as long as a handle to it, and a later watch of the
// same program must find this ring, which the hook goes on writing, under it.
Channel OpenChannel(DWORD processId) {
    Channel channel;
    HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, RingName(processId).c_str());
    if (mapping == nullptr) {
        return channel;
    }
    channel.ring = static_cast<Ring*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(Ring)));
    channel.ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, ReadyEventName(processId).c_str());
    if (channel.ring == nullptr || channel.ready == nullptr) {
        return Channel{};
    }
    return channel;
}

Channel& OwnChannel() {
    static Channel channel;
    if (channel.ring == nullptr) {
        channel = OpenChannel(GetCurrentProcessId());
    }
    return channel;
}

struct ChildSearch {
    HWND parent;
    int id;       // compared as 16 bits: a static's -1 is 65535
    bool isIcon;  // or else the static that shows an icon, whatever its id
    HWND found;
};

BOOL CALLBACK FindChild(HWND child, LPARAM context) {
    auto* search = reinterpret_cast<ChildSearch*>(context);
    const bool matches = search->isIcon
                             ? (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON
                             : (GetDlgCtrlID(child) & 0xFFFF) == (search->id & 0xFFFF);
    if (GetParent(child) == search->parent && matches) {
        search->found = child;
        return FALSE;
    }
    return TRUE;
}

HWND Child(HWND parent, int id, bool isIcon = false) {
    ChildSearch search{parent, id, isIcon, nullptr};
    EnumChildWindows(parent, FindChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A top-level window and the controls that say what it shows, found at its
// first record (a dialog's controls are made before WM_INITDIALOG) and kept
// until it is destroyed: finding them asks the server, which would cost the
// program time at every change.
struct Known {
    HWND window = nullptr;
    Kind kind = Kind::Other;
    HWND text = nullptr;  // the status, or a dialog's message
    HWND bar = nullptr;
    HWND cancel = nullptr;
    HWND icon = nullptr;
};

Known known[8];
unsigned nextKnown = 0;

Known& KnownWindow(HWND window) {
    for (auto& one : known) {
        if (one.window == window) {
            return one;
        }
    }
    Known& one = known[nextKnown++ % 8];
    one = Known{window};
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    HWND status = GetDlgItem(window, IDC_STATUS_TEXT);
    HWND bar = GetDlgItem(window, IDC_PROGRESS_BAR);
    if (status != nullptr && bar != nullptr) {
        one = Known{window, Kind::Progress, status, bar, GetDlgItem(window, IDC_ABORT_BUTTON)};
    } else if (lstrcmpW(className, L"#32770") == 0) {
        one = Known{window,  Kind::Dialog, Child(window, 0xFFFF),
                    nullptr, nullptr,      Child(window, 0, true)};
    }
    return one;
}

// Icon handles are the process's own: compared here, with the system's icons
// as this process loads them, they tell which icon a message box shows.
Icon IconOf(HWND control) {
    if (control == nullptr || (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) == 0) {
        return Icon::None;
    }
    const auto icon = reinterpret_cast<HICON>(SendMessageW(control, STM_GETICON, 0, 0));
    if (icon == nullptr) {
        return Icon::None;
    }
    if (icon == LoadIconW(nullptr, IDI_EXCLAMATION)) {
        return Icon::Exclamation;
    }
    return icon == LoadIconW(nullptr, IDI_HAND) ? Icon::Stop : Icon::Other;
}

void Fill(Record& record, HWND window, Event event) {
    const Known& controls = KnownWindow(window);
    record.tickMs = GetTickCount64();
    record.window = HandleToULong(window);
    record.event = event;
    record.kind = controls.kind;
    record.visible = IsWindowVisible(window) ? 1 : 0;
    RECT rect{};
    GetWindowRect(window, &rect);
    record.rect[0] = rect.left;
    record.rect[1] = rect.top;
    record.rect[2] = rect.right;
    record.rect[3] = rect.bottom;
    record.position = controls.bar != nullptr
                          ? static_cast<std::int32_t>(SendMessageW(controls.bar, PBM_GETPOS, 0, 0))
                          : 0;
    record.cancelEnabled = controls.cancel != nullptr && IsWindowEnabled(controls.cancel) ? 1 : 0;
    record.icon = controls.kind == Kind::Dialog ? IconOf(controls.icon) : Icon::None;
    record.textLength = 0;
    record.text[0] = L'\0';
    if (controls.text != nullptr) {
        // A text that fills the record may have been cut: the driver refuses it.
        const int copied =
            GetWindowTextW(controls.text, record.text, static_cast<int>(kTextCapacity));
        record.textLength = copied + 1 < static_cast<int>(kTextCapacity) ? copied : kTextCapacity;
    }
}

void Write(HWND window, Event event) {
    Channel& channel = OwnChannel();
    if (channel.ring == nullptr) {
        return;  // no watch has asked for it
    }
    Ring& ring = *channel.ring;
    const LONG written = ring.written;
    if (static_cast<std::uint32_t>(written - ring.read) >= kCapacity) {
        InterlockedIncrement(&ring.lost);
    } else {
        Fill(ring.records[static_cast<std::uint32_t>(written) % kCapacity], window, event);
        // A full barrier: the record is there before the count says so.
        InterlockedExchange(&ring.written, written + 1);
    }
    SetEvent(channel.ready);
}

BOOL CALLBACK WritePresent(HWND window, LPARAM) {
    Write(window, Event::Present);
    return TRUE;
}

// The messages after which a window may show something else: a text, the
// bar's range or position, a control enabled or not, and of the top-level
// window itself its place, showing or hiding, its start and its end.
bool MayChangeWhatItShows(const CWPRETSTRUCT& message, HWND topLevel) {
    switch (message.message) {
        case WM_SETTEXT:
        case WM_ENABLE:
        case PBM_SETRANGE:
        case PBM_SETPOS:
        case PBM_DELTAPOS:
        case PBM_STEPIT:
        case PBM_SETRANGE32:
            return true;
        case WM_WINDOWPOSCHANGED:
        case WM_INITDIALOG:
            return message.hwnd == topLevel;
        default:
            return false;
    }
}

}  // namespace

// The hook procedure. It reads the state of the window, never the message's
// parameters: those of a message sent from another process may no longer be
// there once it has been handled.
extern "C" __declspec(dllexport) LRESULT CALLBACK
    WatchHookProcedure(int code, WPARAM wParam, LPARAM lParam) {
    static const UINT snapshot = SnapshotMessage();
    if (code == HC_ACTION) {
        const auto& message = *reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        HWND topLevel = GetAncestor(message.hwnd, GA_ROOT);
        if (message.message == snapshot) {
            EnumThreadWindows(GetCurrentThreadId(), WritePresent, 0);
        } else if (message.message == WM_DESTROY && message.hwnd == topLevel) {
            Write(topLevel, Event::Destroyed);
            KnownWindow(topLevel) = Known{};  // its handle may go to another window
        } else if (topLevel != nullptr && MayChangeWhatItShows(message, topLevel)) {
            Write(topLevel, Event::Changed);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// For a driver of the other architecture, run by that architecture's
// rundll32: "rundll32 ethbox-watch-hook.dll,HoldWatchHook THREAD PROCESS DRIVER"
// sets the hook on thread THREAD of process PROCESS, says in that process's
// channel whether it could, and holds the hook until process DRIVER ends.
extern "C" __declspec(dllexport) void CALLBACK HoldWatchHook(HWND, HINSTANCE, LPSTR line, int) {
    unsigned long thread = 0;
    unsigned long process = 0;
    unsigned long driver = 0;
    if (std::sscanf(line, "%lu %lu %lu", &thread, &process, &driver) != 3) {
        return;
    }
    const Channel channel = OpenChannel(process);
    HANDLE driverProcess = OpenProcess(SYNCHRONIZE, FALSE, driver);
    if (channel.ring == nullptr || driverProcess == nullptr) {
        return;
    }
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROCRET, WatchHookProcedure, self, thread);
    channel.ring->hookError = hook != nullptr ? 0 : static_cast<LONG>(GetLastError());
    InterlockedExchange(&channel.ring->hookState, hook != nullptr ? 1 : -1);
    SetEvent(channel.ready);
    if (hook != nullptr) {
        WaitForSingleObject(driverProcess, INFINITE);
    }
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        self = instance;
    }
    return TRUE;
}
