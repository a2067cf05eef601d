#include "transfer/tftp_endpoint.h"

#include <cstring>

#include "common/typed_address.h"
#include "transfer/decimal_address.h"
#include "transfer/tftp_packets.h"

TftpEndpoint tftpEndpoint;

std::uint16_t deviceRequestPort = kTftpServerPort;

namespace {

// The field holds 63 characters; a longer address (no terminator among the
// first 64 bytes) is refused rather than cut short, which could name another
// device.
bool CopyTypedAddress(char (&target)[kTargetAddressSize]) {
    std::memset(target, 0, sizeof target);
    const auto* end = static_cast<const char*>(std::memchr(typedAddress, '\0', sizeof target));
    if (end == nullptr) {
        return false;
    }
    std::memcpy(target, typedAddress, static_cast<std::size_t>(end - typedAddress));
    return true;
}

}  // namespace

bool OpenEndpoint() {
    TftpEndpoint& endpoint = tftpEndpoint;
    CloseEndpoint();  // never leak a socket, should a caller open twice
    endpoint.openFailure = SocketLayerError{};
    endpoint.lastReply = DeviceReply{};
    endpoint.lastSendError = 0;
    if (!StartSocketLayer(&endpoint.openFailure)) {
        return false;
    }
    endpoint.socketLayerStarted = true;
    if (!CopyTypedAddress(endpoint.targetAddress)) {
        endpoint.openFailure.call = EndpointFailure::AddressTooLong;
        CloseEndpoint();
        return false;
    }
    endpoint.socket = OpenUdpSocket(&endpoint.openFailure);
    if (endpoint.socket == kInvalidSocket) {
        CloseEndpoint();
        return false;
    }
    return true;
}

void CloseEndpoint() {
    TftpEndpoint& endpoint = tftpEndpoint;
    if (!endpoint.socketLayerStarted) {
        return;
    }
    // A receive waiting further up this thread's stack (a window message
    // dispatched during its wait brought us here) must not touch the socket
    // once it is closed.
    InterruptReceive();
    if (endpoint.socket != kInvalidSocket) {
        CloseUdpSocket(endpoint.socket);
        endpoint.socket = kInvalidSocket;
    }
    StopSocketLayer();
    endpoint.socketLayerStarted = false;
}

void SendRequest(const std::uint8_t* packet, std::size_t length) {
    SendToPort(packet, length, deviceRequestPort);
}

// The address is converted anew for each send. One that does not parse sends
// nothing; the caller sees only a missing reply, as with any lost datagram.
void SendToPort(const std::uint8_t* packet, std::size_t length, std::uint16_t port) {
    TftpEndpoint& endpoint = tftpEndpoint;
    std::uint32_t address = 0;
    if (endpoint.socket == kInvalidSocket ||
        !ParseDecimalAddress(endpoint.targetAddress, &address)) {
        return;
    }
    SendDatagram(endpoint.socket, address, port, packet, length, &endpoint.lastSendError);
}

int ReceiveFromTarget(std::uint8_t* buffer, std::uint16_t* sourcePort) {
    TftpEndpoint& endpoint = tftpEndpoint;
    if (endpoint.socket == kInvalidSocket) {
        endpoint.lastReply = DeviceReply{};
        endpoint.lastReply.kind = ReplyKind::ReceiveError;
        return -1;
    }
    std::uint16_t port = 0;
    ReceiveNotes notes;
    const int received = ReceiveDatagram(endpoint.socket, buffer, kReceiveBufferSize,
                                         kReceiveTimeoutMs, &port, &notes);
    if (sourcePort != nullptr) {
        *sourcePort = port;
    }
    endpoint.lastReply = DescribeDatagram(buffer, received);
    if (received < 0 && notes.timedOut) {
        endpoint.lastReply.kind = ReplyKind::NoAnswer;
    }
    endpoint.lastReply.portRefused = notes.portRefused;
    return received;
}
