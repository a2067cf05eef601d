#pragma once

#include <windows.h>

#include <string>

// How a window of the program tells which box it is about. In a run of
// several boxes each process's windows carry its address before the
// program's caption ("192.168.0.212 - ETHERNETボックスバージョンアップ"), and
// its progress window takes its own tile of the screen; in every other run
// the caption is the program's alone.
std::wstring WindowCaption();

// Moves the progress window of box I of N to its tile of the work area of
// the primary screen, shows it and raises it.
void PlaceBoxWindow(HWND window);
