#include "support/sim_udp_peer.h"

#include "platform/udp_socket.h"
#include "sim_socket.h"

namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;  // 127.0.0.1

}  // namespace

SimUdpPeer::SimUdpPeer() {
    if (!StartSocketLayer()) {
        return;
    }
    layerStarted_ = true;
    socket_ = OpenUdpSocket();
    // Only the number is asked of the simulator's layer; what goes over the
    // wire is the updater's.
    port_ = socket_ == kNone ? 0 : ethbox_sim::SimSocketPort(socket_);
}

SimUdpPeer::~SimUdpPeer() {
    CloseUdpSocket(socket_);
    if (layerStarted_) {
        StopSocketLayer();
    }
}

bool SimUdpPeer::SendTo(std::uint16_t port, const std::vector<std::uint8_t>& datagram) {
    return SendDatagram(socket_, kLoopback, port, datagram.data(), datagram.size());
}

bool SimUdpPeer::Receive(int timeoutMs, std::vector<std::uint8_t>* datagram,
                         std::uint16_t* fromPort) {
    std::vector<std::uint8_t> buffer(ethbox_sim::kMaxDatagram);
    const int received =
        ReceiveDatagram(socket_, buffer.data(), buffer.size(), timeoutMs, fromPort);
    if (received < 0) {
        return false;
    }
    datagram->assign(buffer.begin(), buffer.begin() + received);
    return true;
}
