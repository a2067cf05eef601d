#include "sim_packets.h"

#include <cstdio>

namespace ethbox_sim {

namespace {

void AppendField(Bytes& packet, std::uint16_t value) {
    packet.push_back(static_cast<std::uint8_t>(value >> 8));
    packet.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

// Reads a NUL-terminated string from `position`; false when there is no NUL.
bool ReadString(const Bytes& packet, std::size_t* position, std::string* text) {
    text->clear();
    while (*position < packet.size()) {
        std::uint8_t byte = packet[(*position)++];
        if (byte == 0) {
            return true;
        }
        text->push_back(static_cast<char>(byte));
    }
    return false;
}

// Printable ASCII as is; everything else (and the quote and backslash) escaped.
std::string Printable(const std::string& text) {
    std::string out;
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && c != '"' && c != '\\') {
            out.push_back(c);
        } else {
            char escaped[8];  // four characters and the terminator: it always fits
            static_cast<void>(std::snprintf(escaped, sizeof escaped, "\\x%02x", byte));
            out += escaped;
        }
    }
    return out;
}

std::string DescribeRequest(const Bytes& packet, const char* name) {
    Request request;
    if (!ParseRequest(packet, &request)) {
        return std::string(name) + " malformed";
    }
    std::string line = std::string(name) + " file=" + Printable(request.fileName) +
                       " mode=" + Printable(request.mode);
    if (!request.options.empty()) {
        line += " options=";
        for (std::size_t i = 0; i < request.options.size(); ++i) {
            line += (i == 0 ? "" : ",") + Printable(request.options[i]);
        }
    }
    return line;
}

std::string DescribeError(const Bytes& packet) {
    std::string line = "ERROR code=" + std::to_string(FieldAt2(packet));
    if (packet.size() == 4) {
        return line + " text=(none)";
    }
    std::size_t position = 4;
    std::string text;
    bool terminated = ReadString(packet, &position, &text);
    line += " text=\"" + Printable(text) + "\"";
    if (!terminated) {
        line += " unterminated";
    } else if (position != packet.size()) {
        line += " trailing=" + std::to_string(packet.size() - position);
    }
    return line;
}

}  // namespace

std::string ErrorText(int code) {
    switch (code) {
        case kNotDefined:
            return "Not defined";
        case kFileNotFound:
            return "File not found";
        case kAccessViolation:
            return "Access violation";
        case kDiskFull:
            return "Disk full or allocation exceeded";
        case kIllegalOperation:
            return "Illegal TFTP operation";
        case kUnknownTransferId:
            return "Unknown transfer ID";
        case 6:
            return "File already exists";
        case 7:
            return "No such user";
        default:
            return "Error " + std::to_string(code);
    }
}

Bytes BuildAck(std::uint16_t block) {
    Bytes packet;
    AppendField(packet, kAck);
    AppendField(packet, block);
    return packet;
}

Bytes BuildData(std::uint16_t block, const std::uint8_t* payload, std::size_t length) {
    Bytes packet;
    packet.reserve(4 + length);
    AppendField(packet, kData);
    AppendField(packet, block);
    packet.insert(packet.end(), payload, payload + length);
    return packet;
}

Bytes BuildError(std::uint16_t code, const std::string& text) {
    Bytes packet;
    AppendField(packet, kError);
    AppendField(packet, code);
    packet.insert(packet.end(), text.begin(), text.end());
    packet.push_back(0);
    return packet;
}

std::uint16_t FieldAt2(const Bytes& packet) {
    return static_cast<std::uint16_t>((packet[2] << 8) | packet[3]);
}

std::uint16_t OpcodeOf(const Bytes& packet) {
    if (packet.size() < 2) {
        return 0;
    }
    return static_cast<std::uint16_t>((packet[0] << 8) | packet[1]);
}

bool ParseRequest(const Bytes& packet, Request* request) {
    std::uint16_t opcode = OpcodeOf(packet);
    if (opcode != kRrq && opcode != kWrq) {
        return false;
    }
    request->write = opcode == kWrq;
    request->options.clear();
    std::size_t position = 2;
    if (!ReadString(packet, &position, &request->fileName) ||
        !ReadString(packet, &position, &request->mode) || request->mode.empty()) {
        return false;
    }
    std::string option;
    while (position < packet.size()) {
        if (!ReadString(packet, &position, &option)) {
            return false;
        }
        request->options.push_back(option);
    }
    return true;
}

bool EqualsIgnoringCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y) {
            return false;
        }
    }
    return i == a.size() && b[i] == '\0';
}

std::string DescribePacket(const Bytes& packet) {
    if (packet.empty()) {
        return "EMPTY";
    }
    if (packet.size() < 2) {
        return "?? truncated";
    }
    std::uint16_t opcode = OpcodeOf(packet);
    switch (opcode) {
        case kRrq:
            return DescribeRequest(packet, "RRQ");
        case kWrq:
            return DescribeRequest(packet, "WRQ");
        case kData:
            if (packet.size() < 4) {
                return "DATA truncated";
            }
            return "DATA block=" + std::to_string(FieldAt2(packet)) +
                   " bytes=" + std::to_string(packet.size() - 4);
        case kAck:
            if (packet.size() < 4) {
                return "ACK truncated";
            }
            return "ACK block=" + std::to_string(FieldAt2(packet)) +
                   (packet.size() > 4 ? " trailing=" + std::to_string(packet.size() - 4) : "");
        case kError:
            if (packet.size() < 4) {
                return "ERROR truncated";
            }
            return DescribeError(packet);
        default:
            return "?? opcode=" + std::to_string(opcode);
    }
}

Bytes ToNetascii(const Bytes& content) {
    Bytes out;
    out.reserve(content.size() + content.size() / 8);
    for (std::uint8_t byte : content) {
        if (byte == '\n') {
            out.push_back('\r');
            out.push_back('\n');
        } else if (byte == '\r') {
            out.push_back('\r');
            out.push_back(0);
        } else {
            out.push_back(byte);
        }
    }
    return out;
}

}  // namespace ethbox_sim
