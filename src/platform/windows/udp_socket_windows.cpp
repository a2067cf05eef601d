#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>

#include "platform/udp_socket.h"
#include "platform/winsock_receive_error.h"

static_assert(kWinsockWouldBlock == WSAEWOULDBLOCK && kWinsockMessageTooLong == WSAEMSGSIZE &&
                  kWinsockConnectionReset == WSAECONNRESET,
              "the portable names of Winsock's errors hold Winsock's own numbers");

namespace {

// Bumped by InterruptReceive. A receive that sees it change since it began
// gives up before it touches its socket again: the window procedure that
// interrupted it has usually closed that socket, and a socket opened after it
// may already hold the same handle. Per thread, so a receive on another
// thread (a test's simulated device) is never cut short by our endpoint
// closing.
thread_local unsigned interruptGeneration = 0;

using Clock = std::chrono::steady_clock;

DWORD RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<DWORD>(left) : 0;
}

SOCKET AsSocket(SocketHandle socket) {
    return static_cast<SOCKET>(socket);
}

enum class ReadOutcome { Datagram, NothingYet, Failed };

ReadOutcome TryReadDatagram(SOCKET socket, void* buffer, std::size_t capacity,
                            std::uint16_t* sourcePort, int* received, ReceiveNotes* notes) {
    sockaddr_in from{};
    int fromLength = sizeof from;
    *received = recvfrom(socket, static_cast<char*>(buffer), static_cast<int>(capacity), 0,
                         reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (*received != SOCKET_ERROR) {
        *sourcePort = ntohs(from.sin_port);
        return ReadOutcome::Datagram;
    }
    switch (OutcomeOfWinsockReceiveError(WSAGetLastError())) {
        case ReceiveErrorOutcome::KeepWaitingPortRefused:
            notes->portRefused = true;
            return ReadOutcome::NothingYet;
        case ReceiveErrorOutcome::KeepWaiting:
            return ReadOutcome::NothingYet;
        case ReceiveErrorOutcome::Fail:
            break;
    }
    return ReadOutcome::Failed;
}

void Record(SocketLayerError* failure, EndpointFailure call, int error) {
    if (failure != nullptr) {
        *failure = SocketLayerError{call, error};
    }
}

// An event signalled when the socket has a datagram, for the length of one
// receive. WSAEventSelect makes the socket non-blocking; the receive's end
// undoes that, so a send or a blocking call after it never fails with
// WSAEWOULDBLOCK, and closes the event, so no handle outlives the receive.
// An interrupted receive leaves the socket alone: it is closed or about to be,
// and its handle may already name another socket.
class ReadableEvent {
  public:
    explicit ReadableEvent(SOCKET socket) : socket_(socket), event_(WSACreateEvent()) {}
    ~ReadableEvent() {
        if (selected_ && !abandoned_) {
            WSAEventSelect(socket_, nullptr, 0);
            u_long nonBlocking = 0;
            ioctlsocket(socket_, FIONBIO, &nonBlocking);
        }
        if (event_ != WSA_INVALID_EVENT) {
            WSACloseEvent(event_);
        }
    }
    ReadableEvent(const ReadableEvent&) = delete;
    ReadableEvent& operator=(const ReadableEvent&) = delete;

    bool Created() const { return event_ != WSA_INVALID_EVENT; }
    WSAEVENT* Handle() { return &event_; }

    // Again after each dispatched message: a receive nested in it, on the same
    // socket, has selected an event of its own and dropped it on leaving.
    bool Select() {
        if (WSAEventSelect(socket_, event_, FD_READ) != 0) {
            return false;
        }
        selected_ = true;
        return true;
    }

    void Abandon() { abandoned_ = true; }

  private:
    SOCKET socket_;
    WSAEVENT event_;
    bool selected_ = false;
    bool abandoned_ = false;
};

// The datagram a tick reads has nearly always been there since the tick
// before. Asking the socket whether it holds one changes nothing of it, where
// the wait's event is created, selected, reset, unselected, the socket made
// to block again and the event closed: under Wine each a round trip to the
// wineserver, ten for every tick. With bytes waiting, a read of the blocking
// socket returns at once. An empty datagram holds no bytes: it is left to the
// wait, as is nothing at all.
bool DatagramWaiting(SOCKET socket) {
    u_long queued = 0;
    return ioctlsocket(socket, FIONREAD, &queued) == 0 && queued > 0;
}

enum class PumpOutcome { Nothing, Dispatched, QuitPosted };

// Plain translate and dispatch, no IsDialogMessage: a click reaches the cancel
// button, but Esc typed during a wait is not turned into a command. A WM_QUIT
// is not ours to swallow: it is put back for the message loop that owns it.
PumpOutcome PumpOne() {
    MSG message;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        return PumpOutcome::Nothing;
    }
    if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));
        return PumpOutcome::QuitPosted;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
    return PumpOutcome::Dispatched;
}

}  // namespace

bool StartSocketLayer(SocketLayerError* failure) {
    WSADATA data;
    const int error = WSAStartup(MAKEWORD(2, 2), &data);
    if (error != 0) {
        Record(failure, EndpointFailure::Startup, error);
        return false;
    }
    return true;
}

void StopSocketLayer() {
    WSACleanup();
}

SocketHandle OpenUdpSocket(SocketLayerError* failure) {
    const SOCKET created = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (created == INVALID_SOCKET) {
        Record(failure, EndpointFailure::Socket, WSAGetLastError());
        return kInvalidSocket;
    }
    sockaddr_in local{};  // port 0: the system chooses
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(kAnyAddress);
    if (bind(created, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        Record(failure, EndpointFailure::Bind, WSAGetLastError());
        closesocket(created);
        return kInvalidSocket;
    }
    return static_cast<SocketHandle>(created);
}

void CloseUdpSocket(SocketHandle socket) {
    if (socket == kInvalidSocket) {
        return;
    }
    shutdown(AsSocket(socket), SD_BOTH);
    closesocket(AsSocket(socket));
}

bool SendDatagram(SocketHandle socket, std::uint32_t address, std::uint16_t port, const void* data,
                  std::size_t length, int* error) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(address);
    to.sin_port = htons(port);
    const int sent =
        sendto(AsSocket(socket), static_cast<const char*>(data), static_cast<int>(length), 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (error != nullptr) {
        *error = sent == SOCKET_ERROR ? WSAGetLastError() : 0;
    }
    return sent != SOCKET_ERROR && static_cast<std::size_t>(sent) == length;
}

// A datagram already there is read at once. Otherwise the receive sleeps on
// the socket's event and the message queue at once, so the window stays
// serviced without spinning; each message is dispatched as it arrives. The
// deadline is fixed at the start, so message traffic cannot stretch the wait
// beyond timeoutMs.
int ReceiveDatagram(SocketHandle socket, void* buffer, std::size_t capacity, int timeoutMs,
                    std::uint16_t* sourcePort, ReceiveNotes* notes) {
    ReceiveNotes unused;
    notes = notes != nullptr ? notes : &unused;
    *notes = ReceiveNotes{};
    const unsigned generation = interruptGeneration;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    if (DatagramWaiting(AsSocket(socket))) {
        int received = -1;
        const ReadOutcome outcome =
            TryReadDatagram(AsSocket(socket), buffer, capacity, sourcePort, &received, notes);
        if (outcome != ReadOutcome::NothingYet) {
            return outcome == ReadOutcome::Datagram ? received : -1;
        }
    }
    ReadableEvent readable(AsSocket(socket));
    if (!readable.Created()) {
        return -1;
    }
    bool selectionLost = true;
    for (;;) {
        if (interruptGeneration != generation) {
            readable.Abandon();
            return -1;
        }
        if (selectionLost) {
            if (!readable.Select()) {
                return -1;
            }
            selectionLost = false;
        }
        // Reset before reading: a datagram that lands after the read sets the
        // event again, so the wait below cannot miss it.
        WSAResetEvent(*readable.Handle());
        int received = -1;
        switch (TryReadDatagram(AsSocket(socket), buffer, capacity, sourcePort, &received, notes)) {
            case ReadOutcome::Datagram:
                return received;
            case ReadOutcome::Failed:
                return -1;
            case ReadOutcome::NothingYet:
                break;
        }
        const DWORD remaining = RemainingMs(deadline);
        if (remaining == 0) {
            notes->timedOut = true;
            return -1;
        }
        const DWORD woken = MsgWaitForMultipleObjectsEx(1, readable.Handle(), remaining,
                                                        QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0 + 1) {
            // A pending quit would wake us again at once: stop waiting, so
            // the loop that owns it gets to see it.
            if (PumpOne() == PumpOutcome::QuitPosted) {
                return -1;
            }
            selectionLost = true;  // to a receive nested in what was dispatched, perhaps
        } else if (woken == WAIT_FAILED) {
            return -1;
        }
    }
}

void InterruptReceive() {
    ++interruptGeneration;
}
