#include "address_dialog.h"

#include "app/launch_options.h"
#include "process_handles.h"
#include "resource.h"
#include "single_instance.h"

namespace {

const wchar_t* ProposedAddress() {
    return launchOptions.deviceKind == DeviceKind::Ap ? L"192.168.0.202" : L"192.168.0.203";
}

void OnInitDialog(HWND dialog) {
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIcon));
    SetDlgItemTextW(dialog, IDC_ADDRESS_EDIT, ProposedAddress());
    CenterOnDesktop(dialog);
    MarkMainWindow(dialog);
}

void OnCommand(HWND dialog, WORD controlId) {
    switch (controlId) {
        case IDC_START_BUTTON:
            // Starts the update once the progress window exists; until then it does nothing.
            break;
        case IDC_QUIT_BUTTON:  // also Esc and the close box, which the system reports as this id
            EndDialog(dialog, 0);
            break;
        default:
            break;
    }
}

}  // namespace

void CenterOnDesktop(HWND window) {
    RECT desktop{};
    RECT own{};
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(window, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    // Integer division truncates toward zero, also for a window larger than the desktop.
    SetWindowPos(window, HWND_TOP, (desktop.right - width) / 2, (desktop.bottom - height) / 2,
                 width, height, SWP_SHOWWINDOW);
}

INT_PTR CALLBACK AddressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog(dialog);
            break;
        case WM_COMMAND:
            OnCommand(dialog, LOWORD(wParam));
            break;
        case WM_DESTROY:
            UnmarkMainWindow(dialog);
            break;
        default:
            break;
    }
    return FALSE;
}
