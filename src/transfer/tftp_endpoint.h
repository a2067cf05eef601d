#pragma once

#include <cstddef>
#include <cstdint>

#include "common/update_outcome.h"
#include "platform/udp_socket.h"

constexpr std::size_t kTargetAddressSize = 64;  // 63 characters and the terminator
constexpr std::uint16_t kTftpServerPort = 69;
constexpr std::size_t kReceiveBufferSize = 1518;
constexpr int kReceiveTimeoutMs = 1000;

struct TftpEndpoint {
    bool socketLayerStarted = false;
    SocketHandle socket = kInvalidSocket;
    char targetAddress[kTargetAddressSize] = {};
    // Why the last OpenEndpoint failed, with the platform's error number.
    SocketLayerError openFailure;
    // What the last receive brought, from the last OpenEndpoint on.
    DeviceReply lastReply;
    // The socket layer's error for the last send, 0 when it went: a refused
    // send shows itself to the device only as silence.
    int lastSendError = 0;
};

// The process-wide endpoint: one socket to one device.
extern TftpEndpoint tftpEndpoint;

// The port the device takes requests at: always 69 in the program. The one
// seam for tests and benchmarks, whose simulated device listens at a port the
// system chose (binding 69 needs root); they set it before OpenEndpoint.
extern std::uint16_t deviceRequestPort;

// Starts the socket layer, copies typedAddress into targetAddress and opens
// the socket, bound to a port the system chooses. On any failure closes what
// was opened and returns false; an address longer than the 63 characters
// targetAddress holds is such a failure (it is never cut short).
bool OpenEndpoint();

// Releases everything; harmless in any state and when called twice.
void CloseEndpoint();

// Sends go to targetAddress, read with ParseDecimalAddress anew each time; an
// address that does not parse, or a closed endpoint, sends nothing.
// A request (RRQ, WRQ) goes to deviceRequestPort at the target.
void SendRequest(const std::uint8_t* packet, std::size_t length);

// A reply or DATA goes to the port the answered datagram came from.
void SendToPort(const std::uint8_t* packet, std::size_t length, std::uint16_t port);

// One datagram into `buffer` (kReceiveBufferSize bytes) with the 1000 ms
// time-out: the byte count, 0 when empty, -1 on error, time-out or oversize.
// What arrived, or that nothing did, is kept in lastReply.
int ReceiveFromTarget(std::uint8_t* buffer, std::uint16_t* sourcePort);
