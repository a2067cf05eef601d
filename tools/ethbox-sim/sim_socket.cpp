// The socket calls that BSD sockets and Winsock 2 share.

#include "sim_socket_native.h"

namespace ethbox_sim {

void CloseSimSocket(SimSocket socket) {
    if (socket != kNoSimSocket) {
        CloseNativeSocket(Native(socket));
    }
}

std::uint16_t SimSocketPort(SimSocket socket) {
    sockaddr_in address{};
    NativeLength size = sizeof address;
    if (::getsockname(Native(socket), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

bool SimSend(SimSocket socket, const SimEndpoint& to, const std::uint8_t* data,
             std::size_t length) {
    sockaddr_in address = ToSockaddr(to);
    const auto sent = ::sendto(Native(socket), reinterpret_cast<const char*>(data),
                               static_cast<NativeLength>(length), 0,
                               reinterpret_cast<sockaddr*>(&address), sizeof address);
    return sent >= 0 && static_cast<std::size_t>(sent) == length;
}

int SimReceive(SimSocket socket, std::uint8_t* buffer, std::size_t capacity, SimEndpoint* from) {
    sockaddr_in address{};
    NativeLength size = sizeof address;
    const auto received = ::recvfrom(Native(socket), reinterpret_cast<char*>(buffer),
                                     static_cast<NativeLength>(capacity), 0,
                                     reinterpret_cast<sockaddr*>(&address), &size);
    if (received < 0) {
        return -1;
    }
    from->address = ntohl(address.sin_addr.s_addr);
    from->port = ntohs(address.sin_port);
    return static_cast<int>(received);
}

}  // namespace ethbox_sim
