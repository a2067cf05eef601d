#include "progress_dialog.h"

#include <commctrl.h>

#include "address_dialog.h"
#include "box_window.h"
#include "common/launch_options.h"
#include "process_handles.h"
#include "resource.h"
#include "sequencer/update_sequencer.h"
#include "system_awake.h"
#include "update_attempt.h"
#include "update_record.h"
#include "win32_progress_window.h"

namespace {

void PlaceOnOwnersCorner(HWND dialog, HWND owner) {
    RECT ownerRect{};
    GetWindowRect(owner, &ownerRect);
    // Neither SWP_NOZORDER nor SWP_NOACTIVATE: shown, raised and activated.
    SetWindowPos(dialog, HWND_TOP, ownerRect.left, ownerRect.top, 0, 0,
                 SWP_NOSIZE | SWP_SHOWWINDOW);
}

// Without class cursors the system sets none over the window or the bar, and
// the choice made on WM_SETCURSOR stands. The classes are the process's, so
// every dialog of ours loses its cursor too and keeps the one last set.
void RemoveClassCursors(HWND dialog) {
    SetClassLongPtrW(dialog, GCLP_HCURSOR, 0);
    SetClassLongPtrW(GetDlgItem(dialog, IDC_PROGRESS_BAR), GCLP_HCURSOR, 0);
}

BOOL OnInitDialog(HWND dialog, HWND owner) {
    Win32ProgressWindow window(dialog);
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIcon));
    window.SetStatusText(StatusText::Connecting);
    if (owner != nullptr) {
        PlaceOnOwnersCorner(dialog, owner);
    } else if (launchOptions.boxCount > 0) {
        // One of several boxes: its address in the title, its own tile.
        SetWindowTextW(dialog, WindowCaption().c_str());
        PlaceBoxWindow(dialog);
    } else {
        CenterOnDesktop(dialog);
    }
    RemoveClassCursors(dialog);
    SendDlgItemMessageW(dialog, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendDlgItemMessageW(dialog, IDC_PROGRESS_BAR, PBM_SETPOS, 0, 0);
    // TRUE lets the system give the focus to 中止. After a failed start the
    // window has been told to end and its message has been shown.
    return Start(window) ? TRUE : FALSE;
}

// A system cursor by id: no text is involved, so the A form does as well.
void SetStandardCursor(LPCSTR cursor) {
    SetCursor(LoadCursorA(nullptr, cursor));
}

}  // namespace

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(dialog, reinterpret_cast<HWND>(lParam));
        case WM_SETCURSOR:
            SetStandardCursor(updateSequencer.busy ? IDC_WAIT : IDC_ARROW);
            break;
        case WM_TIMER: {
            if (wParam == kOutcomeShownTimerId) {
                EndOutcomeShownInPlace(dialog);
                break;
            }
            Win32ProgressWindow window(dialog);
            Tick(window);
            break;
        }
        case WM_COMMAND:
            // 中止 and Esc; the close box comes as WM_CLOSE, and the dialog
            // manager's IDCANCEL that follows it lands here too, where the
            // sequencer ignores a second cancel.
            if (LOWORD(wParam) == IDC_ABORT_BUTTON && !EndOutcomeShownInPlace(dialog)) {
                Win32ProgressWindow window(dialog);
                Cancel(window);
            }
            break;
        case WM_CLOSE: {
            if (EndOutcomeShownInPlace(dialog)) {
                break;
            }
            Win32ProgressWindow window(dialog);
            Cancel(window);
            break;
        }
        case WM_DESTROY: {
            SetStandardCursor(IDC_ARROW);
            Win32ProgressWindow window(dialog);
            Teardown(window);
            break;
        }
        default:
            break;
    }
    return FALSE;
}

INT_PTR RunUpdate(HWND owner) {
    BeginAttempt();
    const INT_PTR result =
        DialogBoxParamW(appInstance, MAKEINTRESOURCEW(IDD_PROGRESS_DIALOG), owner,
                        ProgressDialogProc, reinterpret_cast<LPARAM>(owner));
    LetSystemSleep();  // already, unless the window ended without an outcome
    RecordAttempt();
    return result;
}
