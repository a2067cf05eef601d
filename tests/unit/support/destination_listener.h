#pragma once

#include <cstdint>
#include <vector>

// A UDP socket at one port on every local address that tells, for each
// datagram, the address it was sent to (IP_PKTINFO). Tests use it to see
// where the endpoint's datagrams go: a peer bound to one loopback address
// cannot show that under Wine, which binds a UDP socket asked for any other
// address than 127.0.0.1 to 0.0.0.0 instead. Written with plain sockets, so
// that the socket layer under test is not checked against itself.
class DestinationListener {
  public:
    struct Arrival {
        bool received = false;
        std::uint32_t destination = 0;  // host byte order
        std::uint16_t sourcePort = 0;
        std::vector<std::uint8_t> bytes;
    };

    DestinationListener();
    ~DestinationListener();
    DestinationListener(const DestinationListener&) = delete;
    DestinationListener& operator=(const DestinationListener&) = delete;

    bool ok() const { return socket_ != kNone; }
    std::uint16_t port() const { return port_; }

    // The next datagram within timeoutMs, or received == false.
    Arrival Receive(int timeoutMs);

    // To 127.0.0.1:port.
    bool SendTo(std::uint16_t port, const std::vector<std::uint8_t>& bytes);

  private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t socket_ = kNone;
    std::uint16_t port_ = 0;
    void* receiveMessage_ = nullptr;  // Windows: WSARecvMsg, found at run time
};
