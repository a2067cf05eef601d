#pragma once

#include <cstdint>

#include "sequencer/progress_window.h"

// Runs one firmware update from the moment its progress window opens to the
// moment it closes, one timer tick at a time: loads the image, opens the
// endpoint, probes the device's kind, writes the image, counts the seconds the
// device needs for its flash, and turns every outcome into exactly one message
// and one end result.

enum class SequencerState : std::int32_t {
    Idle = 0,
    Probing = 1,
    // There is no state 2.
    AwaitingWriteAck = 3,
    Transferring = 4,
    DeviceWriting = 5,
};

// Pacing, in milliseconds: the device relies on it.
constexpr int kTickIntervalMs = 30;        // between ticks
constexpr int kAfterWriteAckMs = 50;       // after the write request is acknowledged
constexpr int kFlashWritingTickMs = 1000;  // while the device writes its flash
constexpr int kProbeAttempts = 5;          // empty answers to the probe allowed before giving up
constexpr int kFlashWritingSeconds = 10;   // the bar's ten steps; the message comes at the eleventh

struct UpdateSequencer {
    SequencerState state = SequencerState::Idle;
    std::int32_t tickCount = 0;   // probe retries, or seconds of flash writing
    std::int32_t ackCount = 0;    // blocks acknowledged since the last progress step
    std::int32_t stepBlocks = 0;  // from LoadFirmwareImage
    bool busy = false;            // selects the wait cursor; stays set until the next Start
    DeviceKind reportedKind = DeviceKind::None;  // what the last probe reply named
    // From the write request to the last acknowledgement, for the outcome:
    // when it began (milliseconds of the steady clock), and how long it took.
    std::int64_t writeRequestSentMs = 0;
    std::int64_t transferTenths = 0;
    // Set once the window has been told to end (a message is shown or about
    // to be) or has been destroyed: nothing more may happen in this window,
    // whatever is dispatched while that message is up or while a receive
    // still waits.
    bool windowEnding = false;
};

// The process-wide sequencer, reset by each Start.
extern UpdateSequencer updateSequencer;

// Called once the window shows S1 and its bar is at 0 of 0..100. True when the
// update is running; false after a failure, when the window has been told to end.
bool Start(ProgressWindow& window);

// For each expiry of the timer.
void Tick(ProgressWindow& window);

// For 中止, Esc and a request to close the window. Acts at most once per window.
void Cancel(ProgressWindow& window);

// When the window is destroyed. A tick still waiting in its receive then
// returns to a window that is gone, and does nothing more.
void Teardown(ProgressWindow& window);
