#pragma once

#include <windows.h>

// At most one EthBoxVup runs at a time. The first instance holds a named mutex
// for its whole life; a second start finds the mutex taken, brings the first
// instance's window to the front and exits.

// True when no other instance holds the mutex. The mutex is never released by
// hand: the system releases it when the process ends.
bool ClaimSingleInstance();

// Marks the address dialog as the window a second start brings forward. Every
// window of ours is a "#32770" dialog with the same caption as its message
// boxes, so neither class nor caption tells the main window apart.
void MarkMainWindow(HWND window);
void UnmarkMainWindow(HWND window);

// Restores the running instance's main window if minimised and activates what
// it shows on top: the main window itself, or its progress window or message box.
void BringRunningInstanceForward();
