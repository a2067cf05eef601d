#pragma once

// The channel through which the watch hook, running in the GUI thread of the
// program the driver watches, tells the driver what changed there: a ring of
// records in memory shared under a name made from the program's process id,
// and an event set after each record. 64-bit and 32-bit code share it (the
// driver is 64-bit, the program either), so every field has a fixed size.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace watch_channel {

enum class Event : std::uint32_t {
    Present,    // the window was there when the driver asked (SnapshotMessage)
    Changed,    // it handled a message that may change what it shows
    Destroyed,  // WM_DESTROY
};

enum class Kind : std::uint32_t {
    Progress,  // a window with the status text and the bar
    Dialog,    // any other dialog: a message box, or the address dialog
    Other,
};

enum class Icon : std::uint32_t { None, Exclamation, Stop, Other };

constexpr std::uint32_t kTextCapacity = 1024;  // UTF-16 units, the terminating zero included

// A top-level window as its own thread saw it right after the message.
struct Record {
    std::uint64_t tickMs;  // GetTickCount64, one clock for every process
    std::uint32_t window;  // handles fit in 32 bits in either architecture
    Event event;
    Kind kind;
    std::int32_t position;        // Progress: the bar
    std::uint32_t cancelEnabled;  // Progress: 中止
    std::uint32_t visible;
    std::int32_t rect[4];         // left, top, right, bottom
    Icon icon;                    // Dialog
    std::uint32_t textLength;     // the whole text's, which may not fit
    wchar_t text[kTextCapacity];  // Progress: the status; Dialog: its message
};
static_assert(sizeof(Record) == 2104, "one layout for 32-bit and 64-bit code");

constexpr std::uint32_t kCapacity = 1024;  // records

struct Ring {
    volatile LONG written;    // by the hook
    volatile LONG read;       // by the driver
    volatile LONG lost;       // records the ring had no room for
    volatile LONG hookState;  // by a helper of the other architecture: 1 set, -1 failed
    volatile LONG hookError;  // GetLastError of a failed SetWindowsHookEx
    LONG reserved;
    Record records[kCapacity];
};
static_assert(offsetof(Ring, records) == 24, "one layout for 32-bit and 64-bit code");

inline std::wstring RingName(DWORD processId) {
    return L"EthBoxWatchRing-" + std::to_wstring(processId);
}

inline std::wstring ReadyEventName(DWORD processId) {
    return L"EthBoxWatchReady-" + std::to_wstring(processId);
}

// Sent by the driver to a window of the watched thread: the hook answers it
// with a Present record for every top-level window of that thread.
inline UINT SnapshotMessage() {
    return RegisterWindowMessageW(L"EthBoxWatchSnapshot");
}

}  // namespace watch_channel
