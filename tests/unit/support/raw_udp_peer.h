#pragma once

#include <cstdint>
#include <vector>

#include "platform/udp_socket.h"

// A bare UDP socket on loopback that plays the far side of the endpoint byte
// by byte: it sees exactly what was sent and can send what no well-behaved
// TFTP server would (short, empty or oversized datagrams). Built on the
// portable socket layer, so the same tests run natively and under Wine.
// It listens on one loopback address only, the one the endpoint is aimed at,
// so that a datagram sent anywhere else never reaches it (natively: Wine
// binds a UDP socket asked for another address than 127.0.0.1 to 0.0.0.0,
// which is why the endpoint's own tests also read each datagram's destination).
class RawUdpPeer {
  public:
    static constexpr std::uint32_t kLoopback = 0x7F000001;  // 127.0.0.1

    struct Datagram {
        bool received = false;
        std::uint16_t sourcePort = 0;
        std::vector<std::uint8_t> bytes;
    };

    // At `address`, on `port` (0: a port the system chooses).
    explicit RawUdpPeer(std::uint32_t address = kLoopback, std::uint16_t port = 0)
        : address_(address) {
        layerStarted_ = StartSocketLayer();
        socket_ = OpenUdpSocketAt(address, port);
        port_ = socket_ == kInvalidSocket ? 0 : LocalPort(socket_);
    }
    ~RawUdpPeer() {
        CloseUdpSocket(socket_);
        if (layerStarted_) {
            StopSocketLayer();
        }
    }
    RawUdpPeer(const RawUdpPeer&) = delete;
    RawUdpPeer& operator=(const RawUdpPeer&) = delete;

    bool ok() const { return socket_ != kInvalidSocket && port_ != 0; }
    std::uint32_t address() const { return address_; }
    std::uint16_t port() const { return port_; }

    // The next datagram sent to this peer, or received == false after the wait.
    Datagram Receive(int timeoutMs = 3000) {
        std::vector<std::uint8_t> buffer(70000);
        Datagram datagram;
        const int length =
            ReceiveDatagram(socket_, buffer.data(), buffer.size(), timeoutMs, &datagram.sourcePort);
        if (length >= 0) {
            datagram.received = true;
            datagram.bytes.assign(buffer.begin(), buffer.begin() + length);
        }
        return datagram;
    }

    // To 127.0.0.1:port, where the endpoint (bound to 0.0.0.0) listens too.
    bool SendTo(std::uint16_t port, const std::vector<std::uint8_t>& bytes) {
        static const std::uint8_t kNothing = 0;  // an empty datagram still needs a valid pointer
        return SendDatagram(socket_, kLoopback, port, bytes.empty() ? &kNothing : bytes.data(),
                            bytes.size());
    }

  private:
    std::uint32_t address_;
    bool layerStarted_ = false;
    SocketHandle socket_ = kInvalidSocket;
    std::uint16_t port_ = 0;
};
