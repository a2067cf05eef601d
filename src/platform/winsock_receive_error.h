#pragma once

// What the Windows receive wait does with the error of one read. Kept apart
// from the Winsock calls and built on every platform, so that the decision is
// tested everywhere: Linux and Wine never report the errors it is there for.

// Winsock's error numbers, fixed by its ABI (winsock2.h names them WSAE...).
constexpr int kWinsockWouldBlock = 10035;       // WSAEWOULDBLOCK
constexpr int kWinsockMessageTooLong = 10040;   // WSAEMSGSIZE
constexpr int kWinsockConnectionReset = 10054;  // WSAECONNRESET

enum class ReceiveErrorOutcome {
    KeepWaiting,             // no datagram is waiting: go on sleeping until one comes
    KeepWaitingPortRefused,  // the same, and a port we sent to was refused (ICMP)
    Fail,                    // the receive fails (-1)
};

ReceiveErrorOutcome OutcomeOfWinsockReceiveError(int winsockError);
