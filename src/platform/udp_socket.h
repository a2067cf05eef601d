#pragma once

#include <cstddef>
#include <cstdint>

#include "common/socket_facts.h"

// One small socket layer over Winsock 2 and BSD sockets, so the endpoint above
// it reads the same on both.

using SocketHandle = std::intptr_t;
constexpr SocketHandle kInvalidSocket = -1;

// The call that failed, and the platform's error number for it (Winsock's,
// or errno).
struct SocketLayerError {
    EndpointFailure call = EndpointFailure::None;
    int error = 0;
};

// Starts and stops the platform's sockets library (WSAStartup/WSACleanup).
// Calls pair up: each successful start is matched by one stop.
bool StartSocketLayer(SocketLayerError* failure = nullptr);
void StopSocketLayer();

// IPv4 addresses are in host byte order throughout.
constexpr std::uint32_t kAnyAddress = 0;  // 0.0.0.0

// An IPv4 UDP socket bound to 0.0.0.0 at a port the system chooses, or
// kInvalidSocket when it cannot be created or bound (nothing is left open).
SocketHandle OpenUdpSocket(SocketLayerError* failure = nullptr);

// Shuts the socket down in both directions and closes it.
void CloseUdpSocket(SocketHandle socket);

// False when the platform refused the send; `error`, when given, then gets its
// error number (Winsock's, or errno), and 0 when the send went.
bool SendDatagram(SocketHandle socket, std::uint32_t address, std::uint16_t port, const void* data,
                  std::size_t length, int* error = nullptr);

// Waits up to `timeoutMs` for one datagram while keeping the user interface
// serviced (window messages, or on POSIX posted tasks, are dispatched as they
// arrive). Returns the byte count (0 for an empty datagram) and the sender's
// port, or -1 for an error, a time-out, an interrupted wait, or a datagram
// larger than `capacity` (which is consumed all the same, so it cannot block
// the next receive). The socket is left as it was found: blocking, and with
// nothing of the wait attached to it. `notes`, when given, tells a time-out
// from the other failures, and whether the wait saw a port we sent to refused.
struct ReceiveNotes {
    bool timedOut = false;
    bool portRefused = false;
};
int ReceiveDatagram(SocketHandle socket, void* buffer, std::size_t capacity, int timeoutMs,
                    std::uint16_t* sourcePort, ReceiveNotes* notes = nullptr);

// Makes a ReceiveDatagram that this thread is waiting in now return -1 at once,
// without touching its socket again (not even to restore it: the caller is
// about to close it). Meant for a window procedure dispatched during the wait
// (cancel, window closed) that closes the socket, perhaps opening another one
// that gets the same handle. Harmless when no receive is waiting: the next
// receive is not affected.
void InterruptReceive();
