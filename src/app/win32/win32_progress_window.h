#pragma once

#include <windows.h>

#include "sequencer/progress_window.h"

// The progress window's controls and timer as the sequencer sees them. Holds
// nothing but the window's handle, so one may be made for each message.
class Win32ProgressWindow : public ProgressWindow {
  public:
    explicit Win32ProgressWindow(HWND dialog) : dialog_(dialog) {}

    void SetStatusText(StatusText status) override;
    void StepProgress() override;
    void ResetProgress() override;
    void DisableCancel() override;
    void ArmTimer(int intervalMs) override;
    void KillTimer() override;
    void ShowOutcome(const UpdateOutcome& outcome) override;
    void EndWindow(int result) override;

  private:
    HWND dialog_;
};

// The timer of a box of a round whose window shows its outcome in place
// before it ends (see UpdateAttempt::showInPlace).
constexpr UINT_PTR kOutcomeShownTimerId = 102;

// Ends the window at once if it is showing its outcome in place (its moment
// is over, or the close box was used meanwhile); false when it is not.
bool EndOutcomeShownInPlace(HWND dialog);
