#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What Windows says about the PC's network, as far as one device address is
// concerned: read only, nothing sent. Each part that could not be read is
// simply missing (no adapters, no route, neighbour states Unknown).

// The neighbour table's entry for the address on one interface.
enum class NeighbourState : std::uint8_t {
    Unknown,     // no entry, or the table could not be read
    Unresolved,  // no device answered address resolution (unreachable, incomplete)
    Resolved,    // a device answered it (reachable, or known since and not yet re-checked)
};

struct Ipv4Prefix {
    std::uint32_t address = 0;  // host byte order
    int length = 0;             // bits of the network part
};

struct AdapterFacts {
    std::string name;  // as Windows shows it, UTF-8
    std::uint32_t index = 0;
    bool connected = false;  // operationally up: cable in, Wi-Fi associated
    bool loopback = false;
    std::vector<Ipv4Prefix> addresses;
    NeighbourState neighbour = NeighbourState::Unknown;
};

struct NetworkFacts {
    std::vector<AdapterFacts> adapters;
    // The route Windows would take to the address, where it says.
    bool routeKnown = false;
    std::uint32_t routeInterface = 0;
    bool routeOnLink = false;  // no gateway: the address is on that interface's network
};

// Windows only: the facts about `address` (host byte order). Never sends.
NetworkFacts GatherNetworkFacts(std::uint32_t address);
