#include "sequencer/update_sequencer.h"

#include <chrono>

#include "common/launch_options.h"
#include "platform/udp_socket.h"
#include "transfer/device_probe.h"
#include "transfer/firmware_image.h"
#include "transfer/image_upload.h"
#include "transfer/tftp_endpoint.h"

UpdateSequencer updateSequencer;

namespace {

// What one tick's step made of its receive, or of the passing second.
enum class StepEvent {
    KindMatches,   // the device is of the kind asked for (or has no "/info.sys" and ap was asked
                   // for)
    KindDiffers,   // it named another kind, or lacks "/info.sys" where e2 was asked for
    EmptyReply,    // an empty datagram: ask again
    NoReply,       // silence, or a reply the probe refuses
    BlockSent,     // the expected acknowledgement came and the next block went out
    Finished,      // the last block is acknowledged
    StepFailed,    // anything else the upload step met
    SecondPassed,  // the device writes its flash: no receive
    NoStep,        // a state that takes no step
    AnyOther,      // in a row only: whatever the row's state gave
};

using Step = StepEvent (*)();
using Action = void (*)(ProgressWindow& window);

std::int64_t SteadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

UpdatePhase PhaseOf(SequencerState state) {
    switch (state) {
        case SequencerState::Probing:
            return UpdatePhase::Probing;
        case SequencerState::AwaitingWriteAck:
            return UpdatePhase::WriteRequest;
        case SequencerState::Transferring:
            return UpdatePhase::Transferring;
        case SequencerState::DeviceWriting:
            return UpdatePhase::FlashWriting;
        case SequencerState::Idle:
            break;
    }
    return UpdatePhase::Idle;
}

// The facts each module kept of this attempt, taken as they are. Only those
// of the phase that ended are taken: the others may be an earlier attempt's.
UpdateOutcome OutcomeOf(UpdateMessage message, UpdatePhase phase) {
    const UpdateSequencer& sequencer = updateSequencer;
    UpdateOutcome outcome;
    outcome.message = message;
    outcome.phase = phase;
    outcome.imageLength = firmwareImage.length;
    outcome.blocks = BlocksOfImage(firmwareImage.length);
    switch (phase) {
        case UpdatePhase::Starting:
            outcome.imageRefusal = firmwareImage.refusal;
            outcome.fileSize = firmwareImage.fileSize;
            outcome.firmwarePath = firmwareImage.path;
            outcome.endpointFailure = tftpEndpoint.openFailure.call;
            outcome.socketError = tftpEndpoint.openFailure.error;
            break;
        case UpdatePhase::Probing:
            outcome.reply = tftpEndpoint.lastReply;
            outcome.sendError = tftpEndpoint.lastSendError;
            outcome.reportedKind = sequencer.reportedKind;
            outcome.emptyAnswers = sequencer.tickCount;
            break;
        case UpdatePhase::WriteRequest:
        case UpdatePhase::Transferring:
            outcome.reply = tftpEndpoint.lastReply;
            outcome.sendError = tftpEndpoint.lastSendError;
            outcome.block = uploadState.blockNumber;
            // With the probe on, only the kind it confirmed leads to the write.
            outcome.probeAnswered = launchOptions.probeEnabled;
            break;
        case UpdatePhase::FlashWriting:
        case UpdatePhase::Completed:
            outcome.block = uploadState.blockNumber;
            outcome.second = sequencer.tickCount;
            outcome.transferTenths = sequencer.transferTenths;
            break;
        case UpdatePhase::Idle:
            break;
    }
    return outcome;
}

// Every way the window ends goes through here, so that nothing dispatched
// while the message is up (a cancel, a stray tick) can add a second one.
void EndWindowWith(ProgressWindow& window, const UpdateOutcome& outcome, int result) {
    updateSequencer.windowEnding = true;
    window.ShowOutcome(outcome);
    window.EndWindow(result);
}

void Fail(ProgressWindow& window, UpdateMessage message) {
    EndWindowWith(window, OutcomeOf(message, PhaseOf(updateSequencer.state)), 0);
}

void FailToStart(ProgressWindow& window, UpdateMessage message) {
    EndWindowWith(window, OutcomeOf(message, UpdatePhase::Starting), 0);
}

// The transfer is timed from the write request to the last acknowledgement.
void NoteWriteRequestSent() {
    updateSequencer.writeRequestSentMs = SteadyMilliseconds();
}

void NoteTransferFinished() {
    updateSequencer.transferTenths =
        (SteadyMilliseconds() - updateSequencer.writeRequestSentMs) / 100;
}

// ---- Steps: at most one receive each, turned into an event. ----

bool KindAccepted(ProbeResult result, DeviceKind reportedKind) {
    const DeviceKind wanted = launchOptions.deviceKind;
    return (result == ProbeResult::KindReported && reportedKind == wanted) ||
           (result == ProbeResult::FileNotFound && wanted == DeviceKind::Ap);
}

StepEvent ProbeStep() {
    DeviceKind& reportedKind = updateSequencer.reportedKind;
    const ProbeResult result = ReceiveProbeReply(reportedKind);
    switch (result) {
        case ProbeResult::KindReported:
        case ProbeResult::FileNotFound:
            return KindAccepted(result, reportedKind) ? StepEvent::KindMatches
                                                      : StepEvent::KindDiffers;
        case ProbeResult::EmptyReply:
            return StepEvent::EmptyReply;
        case ProbeResult::ReceiveFailed:
        case ProbeResult::Rejected:
            break;
    }
    return StepEvent::NoReply;
}

StepEvent UploadStep() {
    switch (ReceiveAckAndSendNext()) {
        case UploadStepResult::BlockSent:
            return StepEvent::BlockSent;
        case UploadStepResult::Finished:
            return StepEvent::Finished;
        case UploadStepResult::ReceiveFailed:
        case UploadStepResult::NotAnAck:
        case UploadStepResult::WrongBlock:
            break;
    }
    return StepEvent::StepFailed;
}

StepEvent FlashWritingStep() {
    return StepEvent::SecondPassed;
}

StepEvent NoStep() {
    return StepEvent::NoStep;
}

struct StepRow {
    SequencerState state;
    Step step;
};

constexpr StepRow kSteps[] = {
    {SequencerState::Probing, ProbeStep},
    {SequencerState::AwaitingWriteAck, UploadStep},
    {SequencerState::Transferring, UploadStep},
    {SequencerState::DeviceWriting, FlashWritingStep},
};

Step StepOf(SequencerState state) {
    for (const StepRow& row : kSteps) {
        if (row.state == state) {
            return row.step;
        }
    }
    return NoStep;
}

// ---- Actions: each ends the tick. ----

void StartWrite(ProgressWindow& window) {
    ResetUpload();
    SendWriteRequest();
    NoteWriteRequestSent();
    updateSequencer.state = SequencerState::AwaitingWriteAck;
    updateSequencer.tickCount = 0;
    window.ArmTimer(kTickIntervalMs);
}

void FailNoConnection(ProgressWindow& window) {
    Fail(window, UpdateMessage::NoConnection);
}

void AskKindAgain(ProgressWindow& window) {
    updateSequencer.tickCount += 1;
    if (updateSequencer.tickCount >= kProbeAttempts) {
        FailNoConnection(window);
        return;
    }
    SendProbeRequest();
    window.ArmTimer(kTickIntervalMs);
}

void BeginTransfer(ProgressWindow& window) {
    window.SetStatusText(StatusText::Transferring);
    window.StepProgress();
    updateSequencer.state = SequencerState::Transferring;
    updateSequencer.tickCount = 0;
    window.ArmTimer(kAfterWriteAckMs);
}

void FailUpdate(ProgressWindow& window) {
    Fail(window, UpdateMessage::UpdateFailed);
}

// One step of the bar for every stepBlocks + 1 blocks, so that the whole
// transfer never takes it past 100.
void CountBlock(ProgressWindow& window) {
    updateSequencer.ackCount += 1;
    if (updateSequencer.ackCount > updateSequencer.stepBlocks) {
        window.StepProgress();
        updateSequencer.ackCount = 0;
    }
    updateSequencer.tickCount = 0;
    window.ArmTimer(kTickIntervalMs);
}

// From here the device is on its own: 中止 can no longer stop what it does,
// though closing the window still ends ours.
void StartFlashWriting(ProgressWindow& window) {
    NoteTransferFinished();
    updateSequencer.state = SequencerState::DeviceWriting;
    window.SetStatusText(StatusText::Updating);
    window.ResetProgress();
    window.DisableCancel();
    updateSequencer.tickCount = 0;
    window.ArmTimer(kFlashWritingTickMs);
}

void FailTransfer(ProgressWindow& window) {
    Fail(window, UpdateMessage::TransferFailed);
}

// The device is never asked whether it is done: it is given the time it needs.
void CountSecond(ProgressWindow& window) {
    updateSequencer.tickCount += 1;
    if (updateSequencer.tickCount > kFlashWritingSeconds) {
        const UpdateOutcome outcome = OutcomeOf(UpdateMessage::Completed, UpdatePhase::Completed);
        updateSequencer.tickCount = 0;
        updateSequencer.state = SequencerState::Idle;
        EndWindowWith(window, outcome, 1);
        return;
    }
    window.StepProgress();
    window.ArmTimer(kFlashWritingTickMs);
}

// ---- The tick table: the first row that fits the state and event acts. ----

struct TickRow {
    SequencerState state;
    StepEvent event;
    Action action;
};

constexpr TickRow kTickTable[] = {
    {SequencerState::Probing, StepEvent::KindMatches, StartWrite},
    {SequencerState::Probing, StepEvent::KindDiffers, FailNoConnection},
    {SequencerState::Probing, StepEvent::EmptyReply, AskKindAgain},
    {SequencerState::Probing, StepEvent::NoReply, FailNoConnection},
    {SequencerState::AwaitingWriteAck, StepEvent::BlockSent, BeginTransfer},
    {SequencerState::AwaitingWriteAck, StepEvent::AnyOther, FailUpdate},
    {SequencerState::Transferring, StepEvent::BlockSent, CountBlock},
    {SequencerState::Transferring, StepEvent::Finished, StartFlashWriting},
    {SequencerState::Transferring, StepEvent::AnyOther, FailTransfer},
    {SequencerState::DeviceWriting, StepEvent::SecondPassed, CountSecond},
};

// Idle, or a state no row knows: there is no update to go on with.
constexpr Action kNoRowAction = FailUpdate;

Action ActionFor(SequencerState state, StepEvent event) {
    for (const TickRow& row : kTickTable) {
        if (row.state == state && (row.event == event || row.event == StepEvent::AnyOther)) {
            return row.action;
        }
    }
    return kNoRowAction;
}

}  // namespace

bool Start(ProgressWindow& window) {
    UpdateSequencer& sequencer = updateSequencer;
    sequencer.tickCount = 0;
    sequencer.state = SequencerState::Idle;
    sequencer.busy = false;
    sequencer.ackCount = 0;
    sequencer.windowEnding = false;
    sequencer.reportedKind = DeviceKind::None;
    sequencer.transferTenths = 0;

    // Read afresh at every attempt: the file may have been replaced since.
    sequencer.stepBlocks = LoadFirmwareImage();
    if (sequencer.stepBlocks == 0) {
        FailToStart(window, UpdateMessage::FirmwareUnreadable);
        return false;
    }
    if (!OpenEndpoint()) {
        FailToStart(window, UpdateMessage::SocketsFailed);
        return false;
    }
    if (launchOptions.probeEnabled) {
        SendProbeRequest();
        sequencer.state = SequencerState::Probing;
    } else {
        ResetUpload();
        SendWriteRequest();
        NoteWriteRequestSent();
        sequencer.state = SequencerState::AwaitingWriteAck;
    }
    sequencer.busy = true;
    window.ArmTimer(kTickIntervalMs);
    return true;
}

void Tick(ProgressWindow& window) {
    if (updateSequencer.windowEnding) {
        return;
    }
    window.KillTimer();
    const SequencerState state = updateSequencer.state;
    const StepEvent event = StepOf(state)();
    // The receive dispatches window messages while it waits: if the window
    // was told to end meanwhile (中止, the close box), its message is the only
    // one, and nothing may be armed or sent any more.
    if (updateSequencer.windowEnding) {
        return;
    }
    ActionFor(state, event)(window);
}

void Cancel(ProgressWindow& window) {
    UpdateSequencer& sequencer = updateSequencer;
    // Once per window: the dialog manager can deliver a second cancel while a
    // receive still waits, and a window already ending has its one message.
    if (sequencer.windowEnding) {
        return;
    }
    window.KillTimer();
    const UpdateOutcome outcome = OutcomeOf(UpdateMessage::Interrupted, PhaseOf(sequencer.state));
    sequencer.state = SequencerState::Idle;
    // A tick may be waiting in its receive further up this thread's stack: let
    // it return as soon as M7 is dismissed rather than wait out its second.
    InterruptReceive();
    EndWindowWith(window, outcome, 0);
}

void Teardown(ProgressWindow& window) {
    // A tick may still wait in its receive further up this thread's stack
    // (the window can be destroyed from a message dispatched there): once it
    // returns, the window it would show a message in is gone.
    updateSequencer.windowEnding = true;
    window.KillTimer();
    updateSequencer.state = SequencerState::Idle;
    CloseEndpoint();
}
