#include "single_instance.h"

namespace {

constexpr char kMutexName[] = "TALVORIN_EthernetBox_VupUtility";

// Window properties live with the window, so another process can read them.
constexpr wchar_t kMainWindowProperty[] = L"TALVORIN_EthernetBox_VupUtility.MainWindow";

BOOL CALLBACK RememberMarkedWindow(HWND window, LPARAM found) {
    if (GetPropW(window, kMainWindowProperty) == nullptr) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// Asynchronous, so that a running instance that is busy cannot hang this one.
void RestoreIfMinimised(HWND window) {
    if (IsIconic(window)) {
        ShowWindowAsync(window, SW_RESTORE);
    }
}

}  // namespace

bool ClaimSingleInstance() {
    SetLastError(ERROR_SUCCESS);
    const HANDLE mutex = CreateMutexA(nullptr, TRUE, kMutexName);
    // No mutex at all means one we may not open is there already: access is
    // denied to a mutex that an elevated instance created. Whatever the
    // reason, we cannot tell that no other instance runs.
    if (mutex == nullptr) {
        return false;
    }
    // Not a leak: the handle stays open until the process ends, as holding it
    // is what marks this instance.
    // cppcheck-suppress resourceLeak
    return GetLastError() != ERROR_ALREADY_EXISTS;
}

void MarkMainWindow(HWND window) {
    SetPropW(window, kMainWindowProperty, window);
}

void UnmarkMainWindow(HWND window) {
    RemovePropW(window, kMainWindowProperty);
}

void BringRunningInstanceForward() {
    HWND mainWindow = nullptr;
    EnumWindows(RememberMarkedWindow, reinterpret_cast<LPARAM>(&mainWindow));
    if (mainWindow == nullptr) {
        return;  // still starting or already closing: it has nothing to show
    }
    // An owned window cannot be seen over a minimised owner, so the owner comes back too.
    HWND shownOnTop = GetLastActivePopup(mainWindow);
    RestoreIfMinimised(mainWindow);
    if (shownOnTop != mainWindow) {
        RestoreIfMinimised(shownOnTop);
    }
    SetForegroundWindow(shownOnTop);
}
