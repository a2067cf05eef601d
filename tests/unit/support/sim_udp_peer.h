#pragma once

#include <cstdint>
#include <vector>

// A bare UDP socket on 127.0.0.1 for the simulator's own tests: the client
// side of the wire, written with plain sockets so that neither the simulator's
// socket code nor the updater's is tested against itself.
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
    std::intptr_t socket_ = kNone;
    std::uint16_t port_ = 0;
};
