#pragma once

#include <windows.h>

// The dialog procedure of template 119, the window in which one update runs.
// Its initial parameter is the owner (the address dialog), over whose top-left
// corner it opens. It ends with 1 after a completed update, 0 otherwise.
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Runs one update in the progress window, over the top-left corner of
// `owner`, or with no owner centred on the screen (the run of /ip:), and
// appends its record line once the window has ended. Returns the window's
// result: 1 completed, 0 not, -1 when it could not be created at all.
INT_PTR RunUpdate(HWND owner);
