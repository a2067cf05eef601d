#pragma once

#include <cstdint>

#include "transfer/tftp_packets.h"

enum class UploadStepResult : int {
    BlockSent = 1,
    Finished = 2,
    ReceiveFailed = -1,
    NotAnAck = -2,
    WrongBlock = -3,
};

struct UploadState {
    std::int32_t blockNumber;              // last DATA block sent; 0 after the write request
    std::int32_t bytesAcked;               // image bytes the device has acknowledged
    std::int32_t lastBlockLength;          // payload of the last DATA block sent
    std::uint8_t packet[kDataPacketSize];  // the last DATA packet built
    std::int32_t packetLength;
};

extern UploadState uploadState;

// Classifies one received datagram (`length` as the receive gave it) against
// the block we wait for: BlockSent here means "the expected ACK".
UploadStepResult ClassifyUploadReply(const std::uint8_t* datagram, int length,
                                     std::int32_t expectedBlock);

// How many DATA blocks an image of `length` bytes is sent in: the last one
// shorter than a whole block, empty when the length is a multiple of it.
std::int32_t BlocksOfImage(std::int32_t length);

void ResetUpload();

// Sends the WRQ for "/" to the request port of the target.
void SendWriteRequest();

// One step: receives one acknowledgement and, if it is the expected one, sends
// the next DATA block of firmwareImage to the port it came from.
UploadStepResult ReceiveAckAndSendNext();
