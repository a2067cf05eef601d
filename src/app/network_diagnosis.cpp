#include "app/network_diagnosis.h"

namespace {

constexpr std::size_t kAdaptersNamed = 3;
constexpr std::uint32_t kLoopbackNetwork =
    0x7F000000;  // 127.0.0.0/8, every address of it this PC's

bool Holds(const Ipv4Prefix& prefix, std::uint32_t address) {
    if (prefix.length <= 0 || prefix.length > 32) {
        return false;
    }
    const std::uint32_t mask = prefix.length == 32 ? ~0u : ~(~0u >> prefix.length);
    return (prefix.address & mask) == (address & mask);
}

bool IsOwnAddress(const NetworkFacts& facts, std::uint32_t address) {
    if ((address & 0xFF000000u) == kLoopbackNetwork) {
        return true;
    }
    for (const AdapterFacts& adapter : facts.adapters) {
        for (const Ipv4Prefix& own : adapter.addresses) {
            if (own.address == address) {
                return true;
            }
        }
    }
    return false;
}

bool NetworkHolds(const AdapterFacts& adapter, std::uint32_t address) {
    for (const Ipv4Prefix& prefix : adapter.addresses) {
        if (Holds(prefix, address)) {
            return true;
        }
    }
    return false;
}

// The adapter with the address of its that holds `device`, else its first.
AdapterShown Shown(const AdapterFacts& adapter, std::uint32_t device = 0) {
    AdapterShown shown;
    shown.name = adapter.name;
    const Ipv4Prefix* chosen = adapter.addresses.empty() ? nullptr : &adapter.addresses.front();
    for (const Ipv4Prefix& own : adapter.addresses) {
        if (Holds(own, device)) {
            chosen = &own;
            break;
        }
    }
    if (chosen != nullptr) {
        shown.address = chosen->address;
        shown.prefixLength = chosen->length;
    }
    return shown;
}

NetworkDiagnosis Cause(NetworkCause cause, const AdapterFacts* adapter = nullptr,
                       std::uint32_t device = 0) {
    NetworkDiagnosis diagnosis;
    diagnosis.cause = cause;
    if (adapter != nullptr) {
        diagnosis.adapters.push_back(Shown(*adapter, device));
    }
    return diagnosis;
}

// The adapters the address's network lies on, connected or not. Windows
// drops the routes of an adapter that is not connected, so the route, where
// known, tells only which connected adapter carries the address: directly
// (on-link) or, through a gateway, none.
struct Holders {
    std::vector<const AdapterFacts*> connected;
    std::vector<const AdapterFacts*> down;
    bool bypassed = false;  // a connected one holds it, yet the route goes elsewhere (a VPN's)
};

Holders HoldersOf(const NetworkFacts& facts, std::uint32_t address) {
    Holders holders;
    for (const AdapterFacts& adapter : facts.adapters) {
        const bool routedHere =
            facts.routeKnown && facts.routeOnLink && adapter.index == facts.routeInterface;
        if (adapter.loopback || !(NetworkHolds(adapter, address) || routedHere)) {
            continue;
        }
        if (!adapter.connected) {
            holders.down.push_back(&adapter);
        } else if (!facts.routeKnown || routedHere) {
            holders.connected.push_back(&adapter);
        } else {
            holders.bypassed = true;
        }
    }
    return holders;
}

// What the neighbour table says of the address on the adapters it would go
// through: a device that answered on any of them counts.
NeighbourState NeighbourOn(const std::vector<const AdapterFacts*>& adapters) {
    NeighbourState state = NeighbourState::Unknown;
    for (const AdapterFacts* adapter : adapters) {
        if (adapter->neighbour == NeighbourState::Resolved) {
            return NeighbourState::Resolved;
        }
        if (adapter->neighbour == NeighbourState::Unresolved) {
            state = NeighbourState::Unresolved;
        }
    }
    return state;
}

NetworkDiagnosis NotOnTheNetwork(const NetworkFacts& facts) {
    NetworkDiagnosis diagnosis;
    for (const AdapterFacts& adapter : facts.adapters) {
        if (adapter.connected && !adapter.loopback && !adapter.addresses.empty() &&
            diagnosis.adapters.size() < kAdaptersNamed) {
            diagnosis.adapters.push_back(Shown(adapter));
        }
    }
    diagnosis.cause =
        diagnosis.adapters.empty() ? NetworkCause::NoConnectedAdapter : NetworkCause::OtherNetwork;
    return diagnosis;
}

NetworkDiagnosis Judge(const UpdateOutcome& outcome, std::uint32_t address,
                       const NetworkFacts& facts) {
    if (outcome.sendError != 0) {
        return Cause(NetworkCause::SendRefused);
    }
    // The device had answered earlier blocks: only a change since is worth
    // saying, and nothing it was before (its address, a firewall).
    const bool answeredBefore = outcome.phase == UpdatePhase::Transferring;
    if (!answeredBefore && IsOwnAddress(facts, address)) {
        return Cause(NetworkCause::OwnAddress);
    }
    const Holders holders = HoldersOf(facts, address);
    const AdapterFacts* down = holders.down.empty() ? nullptr : holders.down.front();
    const NetworkCause downCause =
        answeredBefore ? NetworkCause::AdapterLost : NetworkCause::AdapterDisconnected;
    if (holders.connected.empty()) {
        if (down != nullptr) {
            return Cause(downCause, down, address);
        }
        if (answeredBefore || facts.adapters.empty() || holders.bypassed) {
            return {};
        }
        return NotOnTheNetwork(facts);
    }
    switch (NeighbourOn(holders.connected)) {
        case NeighbourState::Unresolved:
            // No device on the connected adapter: more likely on the cable
            // of the one on the same network that is out.
            if (down != nullptr) {
                return Cause(downCause, down, address);
            }
            return Cause(answeredBefore ? NetworkCause::DeviceGone : NetworkCause::NoDevice);
        case NeighbourState::Resolved:
            // A refused port is an answer of its own, already told.
            if (answeredBefore || outcome.reply.portRefused) {
                return {};
            }
            return Cause(NetworkCause::DeviceSilent);
        case NeighbourState::Unknown:
            break;
    }
    return {};
}

}  // namespace

bool NothingAnswered(const UpdateOutcome& outcome) {
    switch (outcome.message) {
        case UpdateMessage::NoConnection:
        case UpdateMessage::UpdateFailed:
        case UpdateMessage::TransferFailed:
            break;
        default:
            return false;
    }
    const bool waited = outcome.phase == UpdatePhase::Probing ||
                        outcome.phase == UpdatePhase::WriteRequest ||
                        outcome.phase == UpdatePhase::Transferring;
    return waited && (outcome.reply.kind == ReplyKind::NoAnswer || outcome.sendError != 0);
}

NetworkDiagnosis DiagnoseNoAnswer(const UpdateOutcome& outcome, std::uint32_t address,
                                  const NetworkFacts& facts) {
    NetworkDiagnosis diagnosis = Judge(outcome, address, facts);
    diagnosis.address = address;
    return diagnosis;
}
