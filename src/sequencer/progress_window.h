#pragma once

#include "common/ui_texts.h"
#include "common/update_outcome.h"

// What the update sequencer may do to the window in which an update runs, and
// nothing more. The Win32 progress window implements it over its controls and
// timer 101; tests implement it with a recording window.
class ProgressWindow {
  public:
    virtual ~ProgressWindow() = default;

    virtual void SetStatusText(StatusText status) = 0;
    virtual void StepProgress() = 0;   // one step: 10 of a range of 0 to 100
    virtual void ResetProgress() = 0;  // the bar back to 0
    virtual void DisableCancel() = 0;  // greys out 中止
    virtual void ArmTimer(int intervalMs) = 0;
    virtual void KillTimer() = 0;
    // The update's one outcome, once per window: its message is shown (modal:
    // returns when the user has dismissed it; window messages go on being
    // dispatched meanwhile, so the sequencer may be re-entered), and the
    // window keeps the outcome for whoever ran it.
    virtual void ShowOutcome(const UpdateOutcome& outcome) = 0;
    // Tells the window to end with `result` (1 completed, 0 not). The window
    // goes away only once the call that is running has returned.
    virtual void EndWindow(int result) = 0;
};
