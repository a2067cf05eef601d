#pragma once

#include <windows.h>

// The dialog procedure of template 119, the window in which one update runs.
// Its initial parameter is the owner (the address dialog), over whose top-left
// corner it opens. It ends with 1 after a completed update, 0 otherwise.
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
