#include <mswsock.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include "sim_socket_native.h"

namespace ethbox_sim {

namespace {

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
