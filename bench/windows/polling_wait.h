#pragma once

// Forced into a second compilation of the program's Windows receive, for the
// benchmark build EthBoxVup-polling only: its sleeping wait on the socket's
// event and the message queue becomes a loop that asks both again and again,
// as a Winsock 1.1 blocking hook does. Everything else in the receive stays
// as it is, so the CPU figures of the two builds differ by the wait alone.

#include <windows.h>

DWORD PollingMsgWait(DWORD count, const HANDLE* handles, DWORD timeoutMs, DWORD wakeMask,
                     DWORD flags);

#define MsgWaitForMultipleObjectsEx PollingMsgWait
