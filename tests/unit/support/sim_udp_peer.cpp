#include "support/sim_udp_peer.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using SocketLength = int;
static void CloseSocket(std::intptr_t s) {
    closesocket(static_cast<SOCKET>(s));
}
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
using SocketLength = socklen_t;
static void CloseSocket(std::intptr_t s) {
    close(static_cast<int>(s));
}
#endif

namespace {

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

}  // namespace

SimUdpPeer::SimUdpPeer() {
#ifdef _WIN32
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        return;
    }
#endif
    auto handle = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (static_cast<std::intptr_t>(handle) < 0) {
        return;
    }
    sockaddr_in address = Loopback(0);
    SocketLength size = sizeof address;
    if (::bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        CloseSocket(static_cast<std::intptr_t>(handle));
        return;
    }
    socket_ = static_cast<std::intptr_t>(handle);
    port_ = ntohs(address.sin_port);
}

SimUdpPeer::~SimUdpPeer() {
    if (socket_ != kNone) {
        CloseSocket(socket_);
    }
#ifdef _WIN32
    WSACleanup();
#endif
}

bool SimUdpPeer::SendTo(std::uint16_t port, const std::vector<std::uint8_t>& datagram) {
    sockaddr_in address = Loopback(port);
    auto sent = ::sendto(socket_, reinterpret_cast<const char*>(datagram.data()),
                         static_cast<int>(datagram.size()), 0,
                         reinterpret_cast<sockaddr*>(&address), sizeof address);
    return sent == static_cast<decltype(sent)>(datagram.size());
}

bool SimUdpPeer::Receive(int timeoutMs, std::vector<std::uint8_t>* datagram,
                         std::uint16_t* fromPort) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket_, &readable);
    timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    if (::select(static_cast<int>(socket_ + 1), &readable, nullptr, nullptr, &timeout) <= 0) {
        return false;
    }
    std::vector<char> buffer(65536);
    sockaddr_in from{};
    SocketLength size = sizeof from;
    auto received = ::recvfrom(socket_, buffer.data(), static_cast<int>(buffer.size()), 0,
                               reinterpret_cast<sockaddr*>(&from), &size);
    if (received < 0) {
        return false;
    }
    datagram->assign(buffer.begin(), buffer.begin() + received);
    *fromPort = ntohs(from.sin_port);
    return true;
}
