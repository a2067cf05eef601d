#include "win32_progress_window.h"

#include <commctrl.h>

#include "message_box.h"
#include "resource.h"
#include "update_attempt.h"
#include "window_text.h"

namespace {

constexpr UINT_PTR kSequencerTimerId = 101;

UINT IconFlag(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Exclamation:
            return MB_ICONEXCLAMATION;
        case MessageIcon::Stop:
            return MB_ICONHAND;
        case MessageIcon::None:
            break;
    }
    return MB_OK;
}

}  // namespace

void Win32ProgressWindow::SetStatusText(StatusText status) {
    SetDlgItemTextW(dialog_, IDC_STATUS_TEXT, WideFromUtf8(StatusTextOf(status)).c_str());
}

void Win32ProgressWindow::StepProgress() {
    SendDlgItemMessageW(dialog_, IDC_PROGRESS_BAR, PBM_STEPIT, 0, 0);
}

void Win32ProgressWindow::ResetProgress() {
    SendDlgItemMessageW(dialog_, IDC_PROGRESS_BAR, PBM_SETPOS, 0, 0);
}

void Win32ProgressWindow::DisableCancel() {
    EnableWindow(GetDlgItem(dialog_, IDC_ABORT_BUTTON), FALSE);
}

void Win32ProgressWindow::ArmTimer(int intervalMs) {
    SetTimer(dialog_, kSequencerTimerId, static_cast<UINT>(intervalMs), nullptr);
}

void Win32ProgressWindow::KillTimer() {
    ::KillTimer(dialog_, kSequencerTimerId);
}

void Win32ProgressWindow::ShowOutcome(const UpdateOutcome& outcome) {
    NoteOutcome(outcome);
    if (!updateAttempt.showMessages) {
        return;
    }
    ShowMessageBox(dialog_, MessageText(outcome.message), IconFlag(MessageIconOf(outcome.message)));
}

void Win32ProgressWindow::EndWindow(int result) {
    EndDialog(dialog_, result);
}
