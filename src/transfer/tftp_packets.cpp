#include "transfer/tftp_packets.h"

#include <cstring>

const std::uint8_t kProbeRequest[18] = {0x00, 0x01, '/', 'i', 'n', 'f', 'o', '.', 's',
                                        'y',  's',  0,   'o', 'c', 't', 'e', 't', 0};
const std::uint8_t kWriteRequest[10] = {0x00, 0x02, '/', 0, 'o', 'c', 't', 'e', 't', 0};
const std::uint8_t kAckOfBlock1[4] = {0x00, 0x04, 0x00, 0x01};
const std::uint8_t kErrorCode0[4] = {0x00, 0x05, 0x00, 0x00};

std::size_t BuildDataPacket(std::uint8_t* packet, std::uint16_t blockNumber,
                            const std::uint8_t* payload, std::size_t length) {
    constexpr std::size_t kLongest = kTftpBlockSize;
    const std::size_t payloadLength = length < kLongest ? length : kLongest;
    packet[0] = 0x00;
    packet[1] = static_cast<std::uint8_t>(TftpOpcode::Data);
    packet[2] = static_cast<std::uint8_t>(blockNumber >> 8);
    packet[3] = static_cast<std::uint8_t>(blockNumber & 0xFF);
    if (payloadLength > 0) {
        std::memcpy(packet + kDataHeaderLength, payload, payloadLength);
    }
    return kDataHeaderLength + payloadLength;
}

DeviceReply DescribeDatagram(const std::uint8_t* datagram, int length) {
    DeviceReply reply;
    if (length <= 0) {
        reply.kind = length == 0 ? ReplyKind::Empty : ReplyKind::ReceiveError;
        return reply;
    }
    const auto received = static_cast<std::size_t>(length);
    reply.kind = ReplyKind::Packet;
    reply.opcode = received > 1 ? datagram[1] : 0;
    reply.number = static_cast<std::uint16_t>((received > 2 ? datagram[2] * 256 : 0) +
                                              (received > 3 ? datagram[3] : 0));
    if (received <= kDataHeaderLength) {
        return reply;
    }
    if (reply.opcode == static_cast<std::uint8_t>(TftpOpcode::Data)) {
        reply.firstByte = datagram[kDataHeaderLength];
    } else if (reply.opcode == static_cast<std::uint8_t>(TftpOpcode::Error)) {
        // Up to its terminator, if it has one within what arrived.
        const std::size_t available = received - kDataHeaderLength;
        std::size_t kept = 0;
        while (kept < available && kept < kDeviceTextBytes &&
               datagram[kDataHeaderLength + kept] != 0) {
            reply.errorText[kept] = static_cast<char>(datagram[kDataHeaderLength + kept]);
            ++kept;
        }
    }
    return reply;
}
