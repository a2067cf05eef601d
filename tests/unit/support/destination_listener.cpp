#include "support/destination_listener.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
// After the two above.
#include <mswsock.h>
using NativeSocket = SOCKET;
using SocketLength = int;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
using NativeSocket = int;
using SocketLength = socklen_t;
#endif

namespace {

void CloseSocket(std::intptr_t socket) {
#ifdef _WIN32
    closesocket(static_cast<NativeSocket>(socket));
#else
    close(static_cast<NativeSocket>(socket));
#endif
}

bool WaitReadable(std::intptr_t socket, int timeoutMs) {
#ifdef _WIN32
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(static_cast<SOCKET>(socket), &readable);
    timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return select(0, &readable, nullptr, nullptr, &timeout) == 1;
#else
    pollfd waiting{static_cast<int>(socket), POLLIN, 0};
    return poll(&waiting, 1, timeoutMs) == 1;
#endif
}

}  // namespace

DestinationListener::DestinationListener() {
#ifdef _WIN32
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        return;
    }
#endif
    const auto handle = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (static_cast<std::intptr_t>(handle) < 0) {
        return;
    }
    const std::intptr_t socket = static_cast<std::intptr_t>(handle);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    SocketLength size = sizeof address;
#ifdef _WIN32
    const DWORD on = 1;
    GUID receiveMessageId = WSAID_WSARECVMSG;
    DWORD returned = 0;
    const bool extended = WSAIoctl(handle, SIO_GET_EXTENSION_FUNCTION_POINTER, &receiveMessageId,
                                   sizeof receiveMessageId, &receiveMessage_,
                                   sizeof receiveMessage_, &returned, nullptr, nullptr) == 0;
#else
    const int on = 1;
    const bool extended = true;
#endif
    if (!extended ||
        ::setsockopt(handle, IPPROTO_IP, IP_PKTINFO, reinterpret_cast<const char*>(&on),
                     sizeof on) != 0 ||
        ::bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        CloseSocket(socket);
        return;
    }
    socket_ = socket;
    port_ = ntohs(address.sin_port);
}

DestinationListener::~DestinationListener() {
    if (socket_ != kNone) {
        CloseSocket(socket_);
    }
#ifdef _WIN32
    WSACleanup();
#endif
}

DestinationListener::Arrival DestinationListener::Receive(int timeoutMs) {
    Arrival arrival;
    if (socket_ == kNone || !WaitReadable(socket_, timeoutMs)) {
        return arrival;
    }
    std::vector<char> buffer(65536);
    alignas(8) char control[256];
    sockaddr_in from{};
#ifdef _WIN32
    WSABUF part{static_cast<ULONG>(buffer.size()), buffer.data()};
    WSAMSG message{};
    message.name = reinterpret_cast<sockaddr*>(&from);
    message.namelen = sizeof from;
    message.lpBuffers = &part;
    message.dwBufferCount = 1;
    message.Control.buf = control;
    message.Control.len = sizeof control;
    DWORD length = 0;
    const auto receiveMessage = reinterpret_cast<LPFN_WSARECVMSG>(receiveMessage_);
    if (receiveMessage(static_cast<SOCKET>(socket_), &message, &length, nullptr, nullptr) != 0) {
        return arrival;
    }
    for (WSACMSGHDR* header = WSA_CMSG_FIRSTHDR(&message); header != nullptr;
         header = WSA_CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
            const auto* info = reinterpret_cast<const IN_PKTINFO*>(WSA_CMSG_DATA(header));
            arrival.destination = ntohl(info->ipi_addr.s_addr);
        }
    }
#else
    iovec part{buffer.data(), buffer.size()};
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t received = recvmsg(static_cast<int>(socket_), &message, 0);
    if (received < 0) {
        return arrival;
    }
    const auto length = static_cast<std::size_t>(received);
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
            const auto* info = reinterpret_cast<const in_pktinfo*>(CMSG_DATA(header));
            arrival.destination = ntohl(info->ipi_addr.s_addr);
        }
    }
#endif
    arrival.received = true;
    arrival.sourcePort = ntohs(from.sin_port);
    arrival.bytes.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
    return arrival;
}

bool DestinationListener::SendTo(std::uint16_t port, const std::vector<std::uint8_t>& bytes) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    const long long sent = ::sendto(
        static_cast<NativeSocket>(socket_), reinterpret_cast<const char*>(bytes.data()),
        static_cast<int>(bytes.size()), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent == static_cast<long long>(bytes.size());
}
