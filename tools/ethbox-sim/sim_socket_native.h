#pragma once

// What BSD sockets and Winsock 2 call differently, so that the calls that are
// otherwise the same on both are written once (sim_socket.cpp).

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "sim_socket.h"

namespace ethbox_sim {

#ifdef _WIN32
using NativeSocket = SOCKET;
using NativeLength = int;  // of buffers and addresses, as the calls take them
inline void CloseNativeSocket(NativeSocket socket) {
    ::closesocket(socket);
}
#else
using NativeSocket = int;
using NativeLength = socklen_t;
inline void CloseNativeSocket(NativeSocket socket) {
    ::close(socket);
}
#endif

inline NativeSocket Native(SimSocket socket) {
    return static_cast<NativeSocket>(socket);
}

inline sockaddr_in ToSockaddr(const SimEndpoint& endpoint) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(endpoint.address);
    address.sin_port = htons(endpoint.port);
    return address;
}

}  // namespace ethbox_sim
