#include "polling_wait.h"

// Never sleeps: each turn asks whether a handle is signalled, then whether a
// message waits, then whether the time is up.
DWORD PollingMsgWait(DWORD count, const HANDLE* handles, DWORD timeoutMs, DWORD /*wakeMask*/,
                     DWORD /*flags*/) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const DWORD signalled = WaitForMultipleObjects(count, handles, FALSE, 0);
        if (signalled != WAIT_TIMEOUT) {
            return signalled;
        }
        MSG message;
        if (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
            return WAIT_OBJECT_0 + count;
        }
        if (GetTickCount64() >= deadline) {
            return WAIT_TIMEOUT;
        }
    }
}
