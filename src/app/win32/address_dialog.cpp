#include "address_dialog.h"

#include "app/address_check.h"
#include "box_guard.h"
#include "common/launch_options.h"
#include "common/typed_address.h"
#include "common/ui_texts.h"
#include "message_box.h"
#include "process_handles.h"
#include "progress_dialog.h"
#include "resource.h"
#include "single_instance.h"

namespace {

// Any character outside ASCII becomes this byte, which no address contains.
constexpr char kNotAscii = '\x80';

// The field's first 69 characters into `local`, one byte each. Read as
// UTF-16, not through GetDlgItemTextA: under an ANSI code page other than 932
// the A conversion may turn a full-width "０" into "0" by best fit, and an
// address typed in full-width digits would pass the check.
void ReadAddressField(HWND dialog, char (&local)[kTypedAddressSize]) {
    wchar_t wide[kTypedAddressSize] = {};
    GetDlgItemTextW(dialog, IDC_ADDRESS_EDIT, wide, static_cast<int>(kTypedAddressSize));
    for (std::size_t i = 0; i < kTypedAddressSize && wide[i] != L'\0'; ++i) {
        local[i] = wide[i] < 0x80 ? static_cast<char>(wide[i]) : kNotAscii;
    }
}

// The field keeps the text as typed after a refusal or a failed update, so
// the user can correct it and start again.
void OnStart(HWND dialog) {
    char local[kTypedAddressSize] = {};
    ReadAddressField(dialog, local);
    if (!TakeTypedAddress(local)) {
        ShowMessageBox(dialog, kAddressFormatMessage, MB_ICONEXCLAMATION);
        return;
    }
    if (!ClaimBoxGuard(typedAddress)) {
        ShowMessageBox(dialog, kBoxBusyMessage, MB_ICONEXCLAMATION);
        return;
    }
    const INT_PTR result = RunUpdate(dialog);
    ReleaseBoxGuard();
    // 1 after a completed update, -1 when the window could not be created:
    // either way there is nothing more to do here. 0 leaves another attempt.
    if (result != 0) {
        EndDialog(dialog, 1);
    }
}

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
        case IDC_START_BUTTON:  // also Enter
            OnStart(dialog);
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
