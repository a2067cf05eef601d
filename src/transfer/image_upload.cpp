#include "transfer/image_upload.h"

#include <cstring>

#include "transfer/firmware_image.h"
#include "transfer/tftp_endpoint.h"

UploadState uploadState;

namespace {

// Fixed, like everything else of a transfer: nothing is allocated per step.
std::uint8_t ackReply[kReceiveBufferSize];

// The image's length as far as the buffer really holds it, so a step can
// never read past firmwareImage.data whatever the length says.
std::int32_t ImageLength() {
    const std::int32_t length = firmwareImage.length;
    if (length < 0) {
        return 0;
    }
    return length < kFirmwareBufferSize ? length : kFirmwareBufferSize;
}

}  // namespace

UploadStepResult ClassifyUploadReply(const std::uint8_t* datagram, int length,
                                     std::int32_t expectedBlock) {
    if (length <= 0) {
        return UploadStepResult::ReceiveFailed;
    }
    // Too short to hold an opcode and a block number: judged by what arrived,
    // never by bytes left over from an earlier datagram.
    if (static_cast<std::size_t>(length) < kDataHeaderLength ||
        PacketOpcode(datagram) != static_cast<std::uint8_t>(TftpOpcode::Ack)) {
        return UploadStepResult::NotAnAck;
    }
    if (PacketNumber(datagram) != expectedBlock) {
        return UploadStepResult::WrongBlock;
    }
    return UploadStepResult::BlockSent;
}

std::int32_t BlocksOfImage(std::int32_t length) {
    return length > 0 ? length / kTftpBlockSize + 1 : 0;
}

void ResetUpload() {
    UploadState& state = uploadState;
    std::memset(state.packet, 0, sizeof state.packet);
    state.bytesAcked = 0;
    state.blockNumber = 0;
    state.packetLength = 0;
    state.lastBlockLength = 0;
}

void SendWriteRequest() {
    SendRequest(kWriteRequest, sizeof kWriteRequest);
}

UploadStepResult ReceiveAckAndSendNext() {
    UploadState& state = uploadState;
    std::uint16_t sourcePort = 0;
    const int length = ReceiveFromTarget(ackReply, &sourcePort);
    const UploadStepResult reply = ClassifyUploadReply(ackReply, length, state.blockNumber);
    if (reply != UploadStepResult::BlockSent) {
        return reply;
    }
    state.bytesAcked += state.lastBlockLength;
    // A block shorter than kTftpBlockSize (even an empty one) ends the file, so its
    // acknowledgement ends the upload.
    if (state.blockNumber != 0 && state.lastBlockLength < kTftpBlockSize) {
        return UploadStepResult::Finished;
    }
    std::int32_t payload = ImageLength() - state.bytesAcked;
    if (payload < 0) {
        payload = 0;
    } else if (payload > kTftpBlockSize) {
        payload = kTftpBlockSize;
    }
    state.lastBlockLength = payload;
    state.blockNumber += 1;
    state.packetLength = static_cast<std::int32_t>(
        BuildDataPacket(state.packet, static_cast<std::uint16_t>(state.blockNumber),
                        firmwareImage.data + state.bytesAcked, static_cast<std::size_t>(payload)));
    SendToPort(state.packet, static_cast<std::size_t>(state.packetLength), sourcePort);
    return UploadStepResult::BlockSent;
}
