#include "program_windows.h"

#include "window_search.h"

bool IsProgressWindow(HWND window) {
    return FindControl(window, IDC_STATUS_TEXT) != nullptr &&
           FindControl(window, IDC_PROGRESS_BAR) != nullptr;
}

bool ClickButton(HWND window, int id) {
    HWND button = FindControl(window, id);
    return button != nullptr && PostMessageW(button, BM_CLICK, 0, 0);
}

void PressMessageBoxButton(HWND box) {
    if (!ClickButton(box, IDOK)) {
        ClickButton(box, IDCANCEL);
    }
}
