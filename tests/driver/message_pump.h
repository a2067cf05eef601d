#pragma once

#include <windows.h>

// Dispatches this thread's window messages as they arrive, sleeping between
// them, until GetTickCount64() reaches `deadline` (true) or WM_QUIT is taken
// (false).
bool PumpMessagesUntil(ULONGLONG deadline);
