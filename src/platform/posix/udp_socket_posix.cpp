#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/posix/posted_tasks.h"
#include "platform/udp_socket.h"

namespace {

// Bumped by InterruptReceive. A receive that sees it change since it began
// gives up; a per-thread count, so a receive on another thread (a test's
// simulated device) is never cut short by our endpoint closing.
thread_local unsigned interruptGeneration = 0;

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// One datagram that is known to be waiting (or an error). Reads with recvmsg
// so that MSG_TRUNC tells a datagram too large for the buffer, which the
// kernel would otherwise cut silently; the datagram is gone either way.
int ReadOneDatagram(int fd, void* buffer, std::size_t capacity, std::uint16_t* sourcePort,
                    bool* wouldBlock) {
    sockaddr_in from{};
    iovec part{buffer, capacity};
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    const ssize_t received = recvmsg(fd, &message, MSG_DONTWAIT);
    if (received < 0) {
        *wouldBlock = errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        return -1;
    }
    if ((message.msg_flags & MSG_TRUNC) != 0 || static_cast<std::size_t>(received) > capacity) {
        return -1;
    }
    *sourcePort = ntohs(from.sin_port);
    return static_cast<int>(received);
}

void Record(SocketLayerError* failure, EndpointFailure call) {
    if (failure != nullptr) {
        *failure = SocketLayerError{call, errno};
    }
}

}  // namespace

bool StartSocketLayer(SocketLayerError*) {
    return true;
}

void StopSocketLayer() {}

SocketHandle OpenUdpSocket(SocketLayerError* failure) {
    const int fd = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (fd < 0) {
        Record(failure, EndpointFailure::Socket);
        return kInvalidSocket;
    }
    sockaddr_in local{};  // port 0: the system chooses
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(kAnyAddress);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        Record(failure, EndpointFailure::Bind);
        close(fd);
        return kInvalidSocket;
    }
    return fd;
}

void CloseUdpSocket(SocketHandle socket) {
    if (socket == kInvalidSocket) {
        return;
    }
    const int fd = static_cast<int>(socket);
    shutdown(fd, SHUT_RDWR);
    close(fd);
}

bool SendDatagram(SocketHandle socket, std::uint32_t address, std::uint16_t port, const void* data,
                  std::size_t length, int* error) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(address);
    to.sin_port = htons(port);
    const ssize_t sent = sendto(static_cast<int>(socket), data, length, 0,
                                reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (error != nullptr) {
        *error = sent < 0 ? errno : 0;
    }
    return sent >= 0 && static_cast<std::size_t>(sent) == length;
}

// Sleeps in poll() on the socket and the posted-task signal at once, and runs
// each posted task as it arrives, as the Windows wait dispatches window
// messages. The deadline is fixed at the start, so tasks cannot stretch it.
int ReceiveDatagram(SocketHandle socket, void* buffer, std::size_t capacity, int timeoutMs,
                    std::uint16_t* sourcePort, ReceiveNotes* notes) {
    ReceiveNotes unused;
    notes = notes != nullptr ? notes : &unused;
    *notes = ReceiveNotes{};
    const unsigned generation = interruptGeneration;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const int fd = static_cast<int>(socket);
    for (;;) {
        if (interruptGeneration != generation) {
            return -1;
        }
        pollfd waiting[2] = {{fd, POLLIN, 0}, {PostedTaskSignal(), POLLIN, 0}};
        const int ready = poll(waiting, 2, RemainingMs(deadline));
        if (ready < 0 && errno != EINTR) {
            return -1;
        }
        if (ready > 0 && (waiting[1].revents & POLLIN) != 0) {
            RunOnePostedTask();
            continue;  // the task may have interrupted us: look again first
        }
        if (interruptGeneration != generation) {
            return -1;
        }
        if (ready > 0) {
            bool wouldBlock = false;
            const int received = ReadOneDatagram(fd, buffer, capacity, sourcePort, &wouldBlock);
            if (received >= 0 || !wouldBlock) {
                return received;
            }
        }
        if (RemainingMs(deadline) == 0) {
            notes->timedOut = true;
            return -1;
        }
    }
}

void InterruptReceive() {
    ++interruptGeneration;
}
