#include "win32_progress_window.h"

#include <commctrl.h>

#include "app/network_diagnosis.h"
#include "app/outcome_detail.h"
#include "app/round_of_boxes.h"
#include "box_channel.h"
#include "message_box.h"
#include "platform/network_facts.h"
#include "resource.h"
#include "transfer/decimal_address.h"
#include "transfer/tftp_endpoint.h"
#include "update_attempt.h"
#include "update_record.h"
#include "window_text.h"

namespace {

constexpr UINT_PTR kSequencerTimerId = 101;

// A box of a round shows its outcome in place this long before its window
// ends, long enough to be read beside the others, short enough that the
// round's summary soon has it.
constexpr UINT kOutcomeShownMs = 1500;

// The result the window ends with once its outcome has been shown in place;
// -1 while it shows none.
INT_PTR resultAfterShowing = -1;

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

// Nothing answered: why, from what the PC's network looks like now. Only
// read, after the outcome is settled; whatever cannot be read is left out.
UpdateOutcome WithNetworkCause(const UpdateOutcome& outcome) {
    UpdateOutcome judged = outcome;
    std::uint32_t address = 0;
    if (NothingAnswered(outcome) && ParseDecimalAddress(tftpEndpoint.targetAddress, &address)) {
        judged.network =
            DiagnoseNoAnswer(outcome, address, GatherNetworkFacts(address), GatherFirewallFacts);
    }
    return judged;
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
    // The record carries the same detail as the message box; its time is the
    // outcome's, not the end of the look at the network.
    NoteOutcome(outcome);
    const UpdateOutcome judged = WithNetworkCause(outcome);
    updateAttempt.outcome = judged;
    if (updateAttempt.showInPlace) {
        // Recorded and told now, not when the window closes: a box ended
        // while it shows its word has still told its outcome.
        RecordAttempt();
        TellStarter({OutcomeCode(judged), DescribeOutcome(judged)});
        SetDlgItemTextW(dialog_, IDC_STATUS_TEXT,
                        WideFromUtf8(BoxWordOf(OutcomeCode(judged))).c_str());
        DisableCancel();
        return;
    }
    if (!updateAttempt.showMessages) {
        return;
    }
    ShowMessageBox(dialog_, MessageWithDetail(judged).c_str(),
                   IconFlag(MessageIconOf(judged.message)));
}

void Win32ProgressWindow::EndWindow(int result) {
    if (updateAttempt.showInPlace) {
        resultAfterShowing = result;
        SetTimer(dialog_, kOutcomeShownTimerId, kOutcomeShownMs, nullptr);
        return;
    }
    EndDialog(dialog_, result);
}

bool EndOutcomeShownInPlace(HWND dialog) {
    if (resultAfterShowing < 0) {
        return false;
    }
    ::KillTimer(dialog, kOutcomeShownTimerId);
    EndDialog(dialog, resultAfterShowing);
    resultAfterShowing = -1;
    return true;
}
