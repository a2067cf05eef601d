#include "common/update_outcome.h"

int OutcomeCode(const UpdateOutcome& outcome) {
    switch (outcome.message) {
        case UpdateMessage::FirmwareUnreadable:
            return 1;
        case UpdateMessage::SocketsFailed:
            return 2;
        case UpdateMessage::NoConnection:
            return 3;
        case UpdateMessage::UpdateFailed:
            return 4;
        case UpdateMessage::TransferFailed:
            return 5;
        case UpdateMessage::Completed:
            return 0;
        case UpdateMessage::Interrupted:
            return outcome.phase == UpdatePhase::FlashWriting ? kCancelledWhileFlashing : 7;
    }
    return 7;
}
