#include "transfer/device_probe.h"

#include <cstring>

#include "transfer/tftp_endpoint.h"
#include "transfer/tftp_packets.h"

namespace {

// Cleared before each receive, so a short datagram reads as padded with zeros.
std::uint8_t probeReply[kReceiveBufferSize];

constexpr std::uint8_t kKindDigitAp = '1';
constexpr std::uint8_t kKindDigitE2 = '0';
constexpr std::uint16_t kErrorFileNotFound = 1;

ProbeClassification Classify(ProbeResult result, DeviceKind kind, ProbeAnswer answer) {
    return ProbeClassification{result, kind, answer};
}

ProbeClassification ClassifyFirstBlock(std::uint8_t firstByte) {
    if (firstByte == kKindDigitAp) {
        return Classify(ProbeResult::KindReported, DeviceKind::Ap, ProbeAnswer::AckBlock1);
    }
    if (firstByte == kKindDigitE2) {
        return Classify(ProbeResult::KindReported, DeviceKind::E2, ProbeAnswer::AckBlock1);
    }
    // The block is acknowledged all the same, like any block of a read.
    return Classify(ProbeResult::Rejected, DeviceKind::None, ProbeAnswer::AckBlock1);
}

}  // namespace

ProbeClassification ClassifyProbeReply(const std::uint8_t* datagram, int length) {
    if (length < 0) {
        return Classify(ProbeResult::ReceiveFailed, DeviceKind::None, ProbeAnswer::None);
    }
    if (length == 0) {
        return Classify(ProbeResult::EmptyReply, DeviceKind::None, ProbeAnswer::None);
    }
    // Opcode, number and first data byte, with what was not received as zero.
    std::uint8_t head[kDataHeaderLength + 1] = {};
    std::memcpy(head, datagram,
                static_cast<std::size_t>(length) < sizeof head ? static_cast<std::size_t>(length)
                                                               : sizeof head);
    switch (static_cast<TftpOpcode>(PacketOpcode(head))) {
        case TftpOpcode::Data:
            if (PacketNumber(head) == 1) {
                return ClassifyFirstBlock(head[kDataHeaderLength]);
            }
            return Classify(ProbeResult::Rejected, DeviceKind::None, ProbeAnswer::ErrorCode0);
        case TftpOpcode::Error:
            if (PacketNumber(head) == kErrorFileNotFound) {
                return Classify(ProbeResult::FileNotFound, DeviceKind::None, ProbeAnswer::None);
            }
            return Classify(ProbeResult::Rejected, DeviceKind::None, ProbeAnswer::None);
        default:
            return Classify(ProbeResult::Rejected, DeviceKind::None, ProbeAnswer::None);
    }
}

void SendProbeRequest() {
    SendRequest(kProbeRequest, sizeof kProbeRequest);
}

ProbeResult ReceiveProbeReply(DeviceKind& reportedKind) {
    reportedKind = DeviceKind::None;
    std::memset(probeReply, 0, sizeof probeReply);
    std::uint16_t sourcePort = 0;
    const int length = ReceiveFromTarget(probeReply, &sourcePort);
    const ProbeClassification reply = ClassifyProbeReply(probeReply, length);
    switch (reply.answer) {
        case ProbeAnswer::AckBlock1:
            SendToPort(kAckOfBlock1, sizeof kAckOfBlock1, sourcePort);
            break;
        case ProbeAnswer::ErrorCode0:
            SendToPort(kErrorCode0, sizeof kErrorCode0, sourcePort);
            break;
        case ProbeAnswer::None:
            break;
    }
    reportedKind = reply.reportedKind;
    return reply.result;
}
