#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What Windows says about the PC's network, as far as one device address is
// concerned: read only, nothing sent. Each part that could not be read is
// simply missing (no adapters, no route, neighbour states Unknown, the
// firewall not known).

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

// Windows Firewall's profiles, in the order and with the bits Windows gives
// them (domain 1, private 2, public 4).
enum class FirewallProfile : std::uint8_t { Domain, Private, Public };
constexpr int kFirewallProfiles = 3;
constexpr std::uint8_t ProfileBit(FirewallProfile profile) {
    return static_cast<std::uint8_t>(1u << static_cast<unsigned>(profile));
}

// One profile in force now (the profile of a network the PC is on).
struct FirewallProfileFacts {
    FirewallProfile profile = FirewallProfile::Public;
    bool enabled = false;
    bool blockAllInbound = false;          // even programs a rule allows get nothing
    bool inboundBlockedByDefault = false;  // what no rule allows is dropped
};

// An inbound rule that could decide for the device's replies to this
// program: enabled in a profile in force, for UDP or any protocol, naming
// this program or none.
struct FirewallRuleFacts {
    std::string name;  // as Windows shows it, UTF-8
    bool allows = false;
    std::uint8_t profiles = 0;  // ProfileBit of each profile in force it is in
    // It also names ports, addresses other than the local subnet's,
    // interfaces or users: whether it takes the device's replies is not known.
    bool conditional = false;
};

struct FirewallFacts {
    bool known = false;  // all of it read; otherwise nothing below is
    std::vector<FirewallProfileFacts> profilesInForce;
    std::vector<FirewallRuleFacts> rules;
};

struct NetworkFacts {
    std::vector<AdapterFacts> adapters;
    // The route Windows would take to the address, where it says.
    bool routeKnown = false;
    std::uint32_t routeInterface = 0;
    bool routeOnLink = false;        // no gateway: the address is on that interface's network
    std::uint32_t routeGateway = 0;  // host byte order; 0 on-link or not known
    // The length of the route's prefix: 0 for the default route, which every
    // PC with a gateway has, and which says nothing of where the device is.
    std::uint8_t routePrefixLength = 0;
    FirewallFacts firewall;
};

// Windows only: the facts about `address` (host byte order), all but the
// firewall's. Never sends.
NetworkFacts GatherNetworkFacts(std::uint32_t address);

// Windows only: what Windows Firewall says of the device's replies to this
// program. Starts COM on this thread and ends it again; changes nothing.
FirewallFacts GatherFirewallFacts();
