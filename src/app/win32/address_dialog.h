#pragma once

#include <windows.h>

// The dialog procedure of template 102, the program's main window, in which the
// user gives the device's address. Returns FALSE for every message, so the
// system sets no initial keyboard focus.
INT_PTR CALLBACK AddressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Moves `window` to the centre of the desktop window without changing its size,
// shows it and raises it to the top.
void CenterOnDesktop(HWND window);
