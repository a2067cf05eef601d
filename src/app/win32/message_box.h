#pragma once

#include <windows.h>

// A message box owned by `owner`, with the program's caption and `iconFlag`
// (MB_ICONEXCLAMATION, MB_ICONHAND or MB_OK), its UTF-8 text shown through the
// W API. Modal: returns when the user has dismissed it.
void ShowMessageBox(HWND owner, const char* text, UINT iconFlag);
