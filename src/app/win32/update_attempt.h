#pragma once

#include <windows.h>

#include "app/record_line.h"
#include "common/update_outcome.h"

// The attempt whose progress window is open or has just ended: when it
// began, how it ended and when. The record line is made from it.
struct UpdateAttempt {
    ULONGLONG startedAt = 0;  // GetTickCount64 at 開始
    bool ended = false;       // the sequencer handed its outcome over
    UpdateOutcome outcome;
    ULONGLONG endedAt = 0;
    LocalTime endedLocal;
    // Cleared by /quiet in a run with /ip:: the outcome goes only into the
    // exit code and the record.
    bool showMessages = true;
    // Set for a box of several that is watched (no /quiet): instead of a
    // message box, its own window shows the outcome in a word or two for a
    // moment, and the round's summary shows the rest.
    bool showInPlace = false;
    // Its record line has been delivered: once an attempt, however many
    // places end it.
    bool recorded = false;
};

extern UpdateAttempt updateAttempt;

// At 開始, or at once with /ip:, before the progress window opens; from here
// the system is kept awake (KeepSystemAwake) ...
void BeginAttempt();

// ... until the sequencer hands its outcome to the window, before any
// message. (A window that ends without one gives it back as it ends.)
void NoteOutcome(const UpdateOutcome& outcome);

// The local time now, and its offset from UTC at this moment (summer time
// included), as the time zone settings of Windows give them.
LocalTime LocalTimeNow();
