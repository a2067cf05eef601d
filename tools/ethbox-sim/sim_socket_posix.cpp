#include <fcntl.h>
#include <poll.h>

#include <cerrno>
#include <cstring>

#include "sim_socket_native.h"

namespace ethbox_sim {

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
