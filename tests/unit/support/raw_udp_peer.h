#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim_socket.h"

// A bare UDP socket on loopback that plays the far side of the endpoint byte
// by byte: it sees exactly what was sent and can send what no well-behaved
// TFTP server would (short, empty or oversized datagrams). Built on the
// simulator's socket layer, which runs natively and under Wine alike, so that
// the endpoint's socket layer is not checked against itself.
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

    // At `address`, on a port the system chooses.
    explicit RawUdpPeer(std::uint32_t address) {
        std::string error;
        layerStarted_ = ethbox_sim::StartSimSockets(&error);
        socket_ = ethbox_sim::OpenSimSocket({address, 0}, &error);
        port_ = socket_ == ethbox_sim::kNoSimSocket ? 0 : ethbox_sim::SimSocketPort(socket_);
    }
    ~RawUdpPeer() {
        ethbox_sim::CloseSimSocket(socket_);
        if (layerStarted_) {
            ethbox_sim::StopSimSockets();
        }
    }
    RawUdpPeer(const RawUdpPeer&) = delete;
    RawUdpPeer& operator=(const RawUdpPeer&) = delete;

    bool ok() const { return socket_ != ethbox_sim::kNoSimSocket && port_ != 0; }
    std::uint16_t port() const { return port_; }

    // The next datagram sent to this peer, or received == false after the wait.
    Datagram Receive(int timeoutMs = 3000) {
        std::vector<std::uint8_t> buffer(ethbox_sim::kMaxDatagram);
        std::vector<bool> readable;
        ethbox_sim::SimEndpoint from;
        Datagram datagram;
        const int length =
            ethbox_sim::WaitForSimSockets({socket_}, timeoutMs, &readable) && readable[0]
                ? ethbox_sim::SimReceive(socket_, buffer.data(), buffer.size(), &from)
                : -1;
        if (length >= 0) {
            datagram.received = true;
            datagram.sourcePort = from.port;
            datagram.bytes.assign(buffer.begin(), buffer.begin() + length);
        }
        return datagram;
    }

    // To 127.0.0.1:port by default, where the endpoint (bound to 0.0.0.0) listens too.
    bool SendTo(std::uint16_t port, const std::vector<std::uint8_t>& bytes,
                std::uint32_t address = kLoopback) {
        static const std::uint8_t kNothing = 0;  // an empty datagram still needs a valid pointer
        return ethbox_sim::SimSend(socket_, {address, port},
                                   bytes.empty() ? &kNothing : bytes.data(), bytes.size());
    }

  private:
    bool layerStarted_ = false;
    ethbox_sim::SimSocket socket_ = ethbox_sim::kNoSimSocket;
    std::uint16_t port_ = 0;
};
