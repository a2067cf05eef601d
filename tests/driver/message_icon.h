#pragma once

#include <windows.h>

#include <string>

// Which icon a message box of another process shows, read from the screen:
// icon handles mean nothing outside the process that loaded them. Wine draws
// MB_ICONEXCLAMATION as an orange triangle and MB_ICONHAND as a red disc with
// a white cross; a box without an icon shows no coloured pixel where the icon
// would be.
//   "none"         no icon
//   "exclamation"  mostly orange to yellow
//   "stop"         mostly red
//   "other"        some other icon (information and question are blue)
// The box must be painted: see RepaintNow.
std::string MessageIconKind(HWND messageBox);
