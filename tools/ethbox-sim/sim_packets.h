#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// TFTP packets as the simulator builds, reads and logs them. Its own code,
// independent of the updater's, so that each side checks the other.

namespace ethbox_sim {

using Bytes = std::vector<std::uint8_t>;

enum Opcode : std::uint16_t { kRrq = 1, kWrq = 2, kData = 3, kAck = 4, kError = 5 };

constexpr std::size_t kBlockSize = 512;

enum ErrorCode : std::uint16_t {
    kNotDefined = 0,
    kFileNotFound = 1,
    kAccessViolation = 2,
    kDiskFull = 3,
    kIllegalOperation = 4,
    kUnknownTransferId = 5,
};

// The message RFC 1350 gives for a code, or a generic one.
std::string ErrorText(int code);

Bytes BuildAck(std::uint16_t block);
Bytes BuildData(std::uint16_t block, const std::uint8_t* payload, std::size_t length);
Bytes BuildError(std::uint16_t code, const std::string& text);

// The 16-bit field at offset 2; the caller has checked the length.
std::uint16_t FieldAt2(const Bytes& packet);
std::uint16_t OpcodeOf(const Bytes& packet);  // 0 for a datagram shorter than 2 bytes

struct Request {
    bool write = false;
    std::string fileName;
    std::string mode;                  // as sent; compare case-insensitively
    std::vector<std::string> options;  // RFC 2347 name/value strings, not acted upon
};

// An RRQ or WRQ with a NUL-terminated name and mode; false for anything else.
bool ParseRequest(const Bytes& packet, Request* request);

bool EqualsIgnoringCase(const std::string& a, const char* b);

// One human-readable description of a datagram for the log, e.g.
// "RRQ file=/info.sys mode=octet", "ACK block=3", "DATA block=2 bytes=512",
// "ERROR code=1 text=\"File not found\"", "EMPTY", "?? opcode=9".
std::string DescribePacket(const Bytes& packet);

// The bytes of a file as a netascii transfer carries them: LF becomes CR LF
// and a lone CR becomes CR NUL, so that a client turns them back exactly.
Bytes ToNetascii(const Bytes& content);

}  // namespace ethbox_sim
