#pragma once

#include <windows.h>

// Kept by the entry point for the whole process: the module that holds the
// dialog templates, and icon 103, which every window of the program shows.
extern HINSTANCE appInstance;
extern HICON appIcon;
