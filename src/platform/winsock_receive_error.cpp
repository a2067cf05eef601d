#include "platform/winsock_receive_error.h"

ReceiveErrorOutcome OutcomeOfWinsockReceiveError(int winsockError) {
    switch (winsockError) {
        // The wait's event selection has made the socket non-blocking.
        case kWinsockWouldBlock:
            return ReceiveErrorOutcome::KeepWaiting;
        // An ICMP "port unreachable" for an earlier send (our acknowledgement
        // to a transfer port the device had already closed), not a fault
        // of this receive: BSD sockets never report it on an unconnected
        // socket, and neither do we. Not switched off with SIO_UDP_CONNRESET
        // instead: Wine 8 takes that for a stub and never reports the reset,
        // so only this decision, not the switch, can be tested. Noted all
        // the same: during the probe it tells a port closed from silence.
        case kWinsockConnectionReset:
            return ReceiveErrorOutcome::KeepWaitingPortRefused;
        default:
            // A datagram too large for the buffer (WSAEMSGSIZE) among them:
            // the stack has discarded it, so nothing of it stays queued.
            return ReceiveErrorOutcome::Fail;
    }
}
