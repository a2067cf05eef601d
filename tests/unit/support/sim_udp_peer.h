#pragma once

#include <cstdint>
#include <vector>

// A UDP socket for the simulator's own tests: the client side of the wire,
// sending to 127.0.0.1. Built on the updater's socket layer, so that the
// simulator's is not tested against itself.
class SimUdpPeer {
  public:
    SimUdpPeer();
    ~SimUdpPeer();
    SimUdpPeer(const SimUdpPeer&) = delete;
    SimUdpPeer& operator=(const SimUdpPeer&) = delete;

    bool ok() const { return socket_ != kNone; }
    std::uint16_t port() const { return port_; }

    // To 127.0.0.1:port.
    bool SendTo(std::uint16_t port, const std::vector<std::uint8_t>& datagram);

    // One datagram within timeoutMs: true with its bytes and source port.
    bool Receive(int timeoutMs, std::vector<std::uint8_t>* datagram, std::uint16_t* fromPort);

  private:
    static constexpr std::intptr_t kNone = -1;
    bool layerStarted_ = false;
    std::intptr_t socket_ = kNone;
    std::uint16_t port_ = 0;
};
