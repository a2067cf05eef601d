#pragma once

// The channel through which the watch hook, in the GUI thread of the program
// the driver watches, tells the driver what changed there: a ring of records
// in memory shared under a name made of the program's process id, and an
// event set after each record. The driver is 64-bit and the program either,
// so every field has the same size and place in both.

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
    Other,
    Progress,  // the status text 1003 and the bar 1051
    Dialog,    // any other dialog: a message box, the address dialog
};

enum class Icon : std::uint32_t { None, Exclamation, Stop, Other };

constexpr std::uint32_t kTextCapacity = 1024;  // UTF-16 units, the ending zero included

// A top-level window as its own thread saw it right after a message.
struct Record {
    std::uint64_t tickMs;  // GetTickCount64: one clock for every process
    std::uint32_t window;  // handles fit in 32 bits in either architecture
    Event event;
    Kind kind;
    std::int32_t position;        // Progress: the bar
    std::uint32_t cancelEnabled;  // Progress: 中止
    std::uint32_t visible;
    RECT rect;
    Icon icon;                    // Dialog
    std::uint32_t textLength;     // Progress: the status; Dialog: the message
    wchar_t text[kTextCapacity];  // as much of it as fits
};
static_assert(sizeof(Record) == 2104, "one layout for 32-bit and 64-bit code");

constexpr std::uint32_t kCapacity = 1024;  // records

struct Ring {
    volatile LONG written;    // by the hook
    volatile LONG read;       // by the driver
    volatile LONG lost;       // records the ring had no room for
    volatile LONG hookState;  // by a hook set for the driver by rundll32: 1 set, -1 failed
    volatile LONG hookError;  // then its GetLastError
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

// Sent by the driver to a window of the watched thread, the hook answers it
// with a Present record for every top-level window of that thread.
inline UINT SnapshotMessage() {
    return RegisterWindowMessageW(L"EthBoxWatchSnapshot");
}

}  // namespace watch_channel
