#include <mswsock.h>
#include <winsock2.h>
#include <ws2tcpip.h>

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

std::string WinsockError(const char* what) {
    return std::string(what) + ": Winsock error " + std::to_string(WSAGetLastError());
}

}  // namespace

bool StartSimSockets(std::string* error) {
    WSADATA data;
    int result = WSAStartup(MAKEWORD(2, 2), &data);
    if (result != 0) {
        *error = "WSAStartup: error " + std::to_string(result);
        return false;
    }
    return true;
}

void StopSimSockets() {
    WSACleanup();
}

SimSocket OpenSimSocket(const SimEndpoint& local, std::string* error) {
    SOCKET handle = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (handle == INVALID_SOCKET) {
        *error = WinsockError("socket");
        return kNoSimSocket;
    }
    sockaddr_in address = ToSockaddr(local);
    if (::bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        *error = WinsockError(
            ("bind " + FormatSimAddress(local.address) + ":" + std::to_string(local.port)).c_str());
        ::closesocket(handle);
        return kNoSimSocket;
    }
    u_long nonBlocking = 1;
    if (::ioctlsocket(handle, FIONBIO, &nonBlocking) != 0) {
        *error = WinsockError("ioctlsocket");
        ::closesocket(handle);
        return kNoSimSocket;
    }
    // Without this, a port-unreachable reply to one of our sends makes the
    // next receive on the socket fail, which would end a transfer for nothing.
    BOOL reportReset = FALSE;
    DWORD returned = 0;
    WSAIoctl(handle, SIO_UDP_CONNRESET, &reportReset, sizeof reportReset, nullptr, 0, &returned,
             nullptr, nullptr);
    return static_cast<SimSocket>(handle);
}

void CloseSimSocket(SimSocket socket) {
    if (socket != kNoSimSocket) {
        ::closesocket(static_cast<SOCKET>(socket));
    }
}

std::uint16_t SimSocketPort(SimSocket socket) {
    sockaddr_in address{};
    int size = sizeof address;
    if (::getsockname(static_cast<SOCKET>(socket), reinterpret_cast<sockaddr*>(&address), &size) !=
        0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

bool SimSend(SimSocket socket, const SimEndpoint& to, const std::uint8_t* data,
             std::size_t length) {
    sockaddr_in address = ToSockaddr(to);
    int sent = ::sendto(static_cast<SOCKET>(socket), reinterpret_cast<const char*>(data),
                        static_cast<int>(length), 0, reinterpret_cast<sockaddr*>(&address),
                        sizeof address);
    return sent == static_cast<int>(length);
}

int SimReceive(SimSocket socket, std::uint8_t* buffer, std::size_t capacity, SimEndpoint* from) {
    sockaddr_in address{};
    int size = sizeof address;
    int received =
        ::recvfrom(static_cast<SOCKET>(socket), reinterpret_cast<char*>(buffer),
                   static_cast<int>(capacity), 0, reinterpret_cast<sockaddr*>(&address), &size);
    if (received == SOCKET_ERROR) {
        return -1;
    }
    from->address = ntohl(address.sin_addr.s_addr);
    from->port = ntohs(address.sin_port);
    return received;
}

bool WaitForSimSockets(const std::vector<SimSocket>& sockets, int timeoutMs,
                       std::vector<bool>* readable) {
    readable->assign(sockets.size(), false);
    fd_set set;
    FD_ZERO(&set);
    for (SimSocket socket : sockets) {
        FD_SET(static_cast<SOCKET>(socket), &set);
    }
    timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    if (sockets.empty()) {
        // select() refuses an empty set on Windows; the wait is still wanted.
        Sleep(static_cast<DWORD>(timeoutMs));
        return true;
    }
    int ready = ::select(0, &set, nullptr, nullptr, &timeout);
    if (ready == SOCKET_ERROR) {
        return false;
    }
    for (std::size_t i = 0; i < sockets.size(); ++i) {
        (*readable)[i] = FD_ISSET(static_cast<SOCKET>(sockets[i]), &set) != 0;
    }
    return true;
}

}  // namespace ethbox_sim
