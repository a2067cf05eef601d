#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The simulator's own small UDP layer over BSD sockets and Winsock 2. It is
// deliberately separate from the updater's socket layer, so that tests which
// put the two against each other do not check that layer against itself.

namespace ethbox_sim {

using SimSocket = std::intptr_t;
constexpr SimSocket kNoSimSocket = -1;

// Larger than any UDP payload, so that no datagram is ever cut short.
constexpr std::size_t kMaxDatagram = 65536;

struct SimEndpoint {
    std::uint32_t address = 0;  // IPv4, host byte order
    std::uint16_t port = 0;
};

inline bool operator==(const SimEndpoint& a, const SimEndpoint& b) {
    return a.address == b.address && a.port == b.port;
}
inline bool operator!=(const SimEndpoint& a, const SimEndpoint& b) {
    return !(a == b);
}

// Starts and stops the platform's sockets library (reference-counted on Windows).
bool StartSimSockets(std::string* error);
void StopSimSockets();

// A non-blocking IPv4 UDP socket bound to `local` (port 0: the system chooses).
SimSocket OpenSimSocket(const SimEndpoint& local, std::string* error);
void CloseSimSocket(SimSocket socket);
std::uint16_t SimSocketPort(SimSocket socket);

bool SimSend(SimSocket socket, const SimEndpoint& to, const std::uint8_t* data, std::size_t length);

// One datagram if one is waiting: its length (0 for an empty one), or -1 when
// none is waiting or the receive failed.
int SimReceive(SimSocket socket, std::uint8_t* buffer, std::size_t capacity, SimEndpoint* from);

// Waits up to timeoutMs for any of `sockets` to become readable; `readable`
// gets one flag per socket. False on a failed wait.
bool WaitForSimSockets(const std::vector<SimSocket>& sockets, int timeoutMs,
                       std::vector<bool>* readable);

// Strict dotted-decimal IPv4 (four decimal groups of at most 255).
bool ParseSimAddress(const std::string& text, std::uint32_t* address);
std::string FormatSimAddress(std::uint32_t address);

}  // namespace ethbox_sim
