#pragma once

#include <windows.h>

// EthBoxVup's windows as the driver tells them apart and works them. The ids
// of their controls are the program's own, from res/resource.h.
#include "resource.h"

// A message box's text: the static control every message box has, 0xFFFF.
constexpr int kMessageTextId = 0xFFFF;

// The progress window: a dialog with the status text and the bar.
bool IsProgressWindow(HWND window);

// Posts a click on the button with that id, as a user's click does; false when
// there is no such button or the click cannot be posted.
bool ClickButton(HWND window, int id);

// Presses a message box's OK, or its Cancel when it has no OK.
void PressMessageBoxButton(HWND box);
