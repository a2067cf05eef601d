#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sim_socket.h"

namespace ethbox_sim {

namespace {

sockaddr_in ToSockaddr(const SimEndpoint& endpoint) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(endpoint.address);
    address.sin_port = htons(endpoint.port);
    return address;
}

}  // namespace

bool StartSimSockets(std::string*) {
    return true;
}

void StopSimSockets() {}

SimSocket OpenSimSocket(const SimEndpoint& local, std::string* error) {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return kNoSimSocket;
    }
    sockaddr_in address = ToSockaddr(local);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        *error = "bind " + FormatSimAddress(local.address) + ":" + std::to_string(local.port) +
                 ": " + std::strerror(errno);
        ::close(fd);
        return kNoSimSocket;
    }
    int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
        *error = std::string("fcntl: ") + std::strerror(errno);
        ::close(fd);
        return kNoSimSocket;
    }
    return fd;
}

void CloseSimSocket(SimSocket socket) {
    if (socket != kNoSimSocket) {
        ::close(static_cast<int>(socket));
    }
}

std::uint16_t SimSocketPort(SimSocket socket) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (::getsockname(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&address), &size) !=
        0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

bool SimSend(SimSocket socket, const SimEndpoint& to, const std::uint8_t* data,
             std::size_t length) {
    sockaddr_in address = ToSockaddr(to);
    ssize_t sent = ::sendto(static_cast<int>(socket), data, length, 0,
                            reinterpret_cast<sockaddr*>(&address), sizeof address);
    return sent == static_cast<ssize_t>(length);
}

int SimReceive(SimSocket socket, std::uint8_t* buffer, std::size_t capacity, SimEndpoint* from) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    ssize_t received = ::recvfrom(static_cast<int>(socket), buffer, capacity, 0,
                                  reinterpret_cast<sockaddr*>(&address), &size);
    if (received < 0) {
        return -1;
    }
    from->address = ntohl(address.sin_addr.s_addr);
    from->port = ntohs(address.sin_port);
    return static_cast<int>(received);
}

bool WaitForSimSockets(const std::vector<SimSocket>& sockets, int timeoutMs,
                       std::vector<bool>* readable) {
    std::vector<pollfd> polled(sockets.size());
    for (std::size_t i = 0; i < sockets.size(); ++i) {
        polled[i].fd = static_cast<int>(sockets[i]);
        polled[i].events = POLLIN;
    }
    readable->assign(sockets.size(), false);
    int ready = ::poll(polled.data(), polled.size(), timeoutMs);
    if (ready < 0) {
        return errno == EINTR;
    }
    for (std::size_t i = 0; i < sockets.size(); ++i) {
        (*readable)[i] = (polled[i].revents & (POLLIN | POLLERR)) != 0;
    }
    return true;
}

}  // namespace ethbox_sim
