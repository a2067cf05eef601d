#pragma once

#include <cstddef>
#include <cstdint>

#include "common/update_outcome.h"

enum class TftpOpcode : std::uint8_t {
    ReadRequest = 1,
    WriteRequest = 2,
    Data = 3,
    Ack = 4,
    Error = 5,
};

// The payload of a full DATA block; a shorter one ends the file.
constexpr std::int32_t kTftpBlockSize = 512;
constexpr std::size_t kDataHeaderLength = 4;
constexpr std::size_t kDataPacketSize = kDataHeaderLength + kTftpBlockSize;

// The packets we send whose bytes never change.
extern const std::uint8_t kProbeRequest[18];  // RRQ "/info.sys" "octet"
extern const std::uint8_t kWriteRequest[10];  // WRQ "/" "octet"
extern const std::uint8_t kAckOfBlock1[4];    // ACK 1
extern const std::uint8_t kErrorCode0[4];     // ERROR 0, no text and no terminator

// Received datagrams are read at fixed positions: byte 1 is the opcode, bytes 2
// and 3 the block number or error code. Callers make sure 4 bytes are readable.
inline std::uint8_t PacketOpcode(const std::uint8_t* packet) {
    return packet[1];
}
inline std::uint16_t PacketNumber(const std::uint8_t* packet) {
    return static_cast<std::uint16_t>(packet[2] * 256 + packet[3]);
}

// Writes the DATA header and copies `length` (at most kTftpBlockSize) payload bytes into
// `packet`, which holds kDataPacketSize bytes. Returns the packet's length.
std::size_t BuildDataPacket(std::uint8_t* packet, std::uint16_t blockNumber,
                            const std::uint8_t* payload, std::size_t length);

// What a received datagram of `length` bytes (the receive's count, > 0) was,
// as the record tells it: opcode, number, first data byte and an ERROR's text,
// each from the bytes that arrived only.
DeviceReply DescribeDatagram(const std::uint8_t* datagram, int length);
