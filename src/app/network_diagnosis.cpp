#include "app/network_diagnosis.h"

#include <initializer_list>
#include <vector>

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
    std::vector<const AdapterFacts*> connected;  // the route's, or all when no route is known
    std::vector<const AdapterFacts*> down;
    // Connected ones the route passes by: another adapter on the same
    // network, or the route a VPN's.
    std::vector<const AdapterFacts*> bypassed;
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
            holders.bypassed.push_back(&adapter);
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

// The route leaves through a gateway, and no network of the PC holds the
// address: the adapter it leaves by, when Windows named one that is up. Not
// the default route: a device that only it reaches is told as on no network
// of the PC's, the mistake met far more often than a router.
const AdapterFacts* GatewayAdapter(const NetworkFacts& facts) {
    if (!facts.routeKnown || facts.routeOnLink || facts.routeGateway == 0 ||
        facts.routePrefixLength == 0) {
        return nullptr;
    }
    for (const AdapterFacts& adapter : facts.adapters) {
        if (adapter.index == facts.routeInterface && adapter.connected && !adapter.loopback) {
            return &adapter;
        }
    }
    return nullptr;
}

// Windows sends through the first, the route's; a device on another cannot hear it.
NetworkDiagnosis SharedNetwork(const Holders& holders, std::uint32_t address) {
    NetworkDiagnosis diagnosis;
    diagnosis.cause = NetworkCause::TwoAdapters;
    for (const auto* group : {&holders.connected, &holders.bypassed}) {
        for (const AdapterFacts* adapter : *group) {
            if (diagnosis.adapters.size() < kAdaptersNamed) {
                diagnosis.adapters.push_back(Shown(*adapter, address));
            }
        }
    }
    return diagnosis;
}

// What Windows Firewall does to the device's replies in one profile in
// force: the first that holds, Windows' own order (a rule that blocks wins
// over one that allows), or None where a rule with conditions of its own
// leaves it open.
struct Verdict {
    NetworkCause cause = NetworkCause::None;
    const FirewallRuleFacts* rule = nullptr;
};

const FirewallRuleFacts* RuleIn(const FirewallFacts& firewall, FirewallProfile profile, bool allows,
                                bool conditional) {
    for (const FirewallRuleFacts& rule : firewall.rules) {
        if ((rule.profiles & ProfileBit(profile)) != 0 && rule.allows == allows &&
            rule.conditional == conditional) {
            return &rule;
        }
    }
    return nullptr;
}

Verdict VerdictIn(const FirewallFacts& firewall, const FirewallProfileFacts& profile) {
    if (!profile.enabled) {
        return {NetworkCause::FirewallOff};
    }
    if (const FirewallRuleFacts* blocking = RuleIn(firewall, profile.profile, false, false)) {
        return {NetworkCause::FirewallRuleBlocks, blocking};
    }
    if (profile.blockAllInbound) {
        return {NetworkCause::FirewallBlocksAll};
    }
    if (RuleIn(firewall, profile.profile, false, true) != nullptr) {
        return {};
    }
    if (const FirewallRuleFacts* allowing = RuleIn(firewall, profile.profile, true, false)) {
        return {NetworkCause::FirewallAllows, allowing};
    }
    if (!profile.inboundBlockedByDefault) {
        return {NetworkCause::FirewallOpen};
    }
    if (RuleIn(firewall, profile.profile, true, true) != nullptr) {
        return {};
    }
    return {NetworkCause::FirewallBlocksByDefault};
}

bool Blocks(NetworkCause cause) {
    return cause == NetworkCause::FirewallRuleBlocks || cause == NetworkCause::FirewallBlocksAll ||
           cause == NetworkCause::FirewallBlocksByDefault;
}

// Which profile the device's network is in, Windows does not say here: a
// cause is told only when every profile in force agrees whether the firewall
// keeps the replies out, and then the first in this order, with the profiles
// where it holds.
constexpr NetworkCause kFirewallOrder[] = {
    NetworkCause::FirewallRuleBlocks,      NetworkCause::FirewallBlocksAll,
    NetworkCause::FirewallBlocksByDefault, NetworkCause::FirewallOff,
    NetworkCause::FirewallAllows,          NetworkCause::FirewallOpen,
};

NetworkDiagnosis FirewallSays(const FirewallFacts& firewall) {
    if (!firewall.known || firewall.profilesInForce.empty()) {
        return {};
    }
    std::vector<Verdict> verdicts;
    int blocking = 0;
    int off = 0;
    for (const FirewallProfileFacts& profile : firewall.profilesInForce) {
        verdicts.push_back(VerdictIn(firewall, profile));
        if (verdicts.back().cause == NetworkCause::None) {
            return {};
        }
        blocking += Blocks(verdicts.back().cause) ? 1 : 0;
        off += verdicts.back().cause == NetworkCause::FirewallOff ? 1 : 0;
    }
    const int count = static_cast<int>(verdicts.size());
    if (blocking != 0 && blocking != count) {
        return {};
    }
    for (const NetworkCause cause : kFirewallOrder) {
        // Off only where it is off everywhere: else what is on says more.
        if (cause == NetworkCause::FirewallOff && off != count) {
            continue;
        }
        NetworkDiagnosis diagnosis;
        for (std::size_t at = 0; at < verdicts.size(); ++at) {
            const Verdict& verdict = verdicts[at];
            if (verdict.cause != cause ||
                (diagnosis.cause != NetworkCause::None && verdict.rule != nullptr &&
                 verdict.rule->name != diagnosis.firewallRule)) {
                continue;
            }
            diagnosis.cause = cause;
            diagnosis.firewallRule = verdict.rule != nullptr ? verdict.rule->name : "";
            diagnosis.firewallProfiles |= ProfileBit(firewall.profilesInForce[at].profile);
        }
        if (diagnosis.cause != NetworkCause::None) {
            return diagnosis;
        }
    }
    return {};
}

NetworkDiagnosis Judge(const UpdateOutcome& outcome, std::uint32_t address,
                       const NetworkFacts& facts) {
    if (outcome.sendError != 0) {
        return Cause(NetworkCause::SendRefused);
    }
    // The device answered the kind check moments ago, on this very network
    // and past this firewall: only the write request went unanswered.
    if (outcome.phase == UpdatePhase::WriteRequest && outcome.probeAnswered) {
        return Cause(NetworkCause::WriteIgnored);
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
        if (answeredBefore || facts.adapters.empty() || !holders.bypassed.empty()) {
            return {};
        }
        if (const AdapterFacts* leaving = GatewayAdapter(facts)) {
            NetworkDiagnosis diagnosis = Cause(NetworkCause::ViaGateway, leaving);
            diagnosis.gateway = facts.routeGateway;
            return diagnosis;
        }
        return NotOnTheNetwork(facts);
    }
    const NeighbourState neighbour = NeighbourOn(holders.connected);
    if (neighbour != NeighbourState::Resolved && !answeredBefore && !holders.bypassed.empty()) {
        return SharedNetwork(holders, address);
    }
    switch (neighbour) {
        case NeighbourState::Unresolved:
            // No device on the connected adapter: more likely on the cable
            // of the one on the same network that is out.
            if (down != nullptr) {
                return Cause(downCause, down, address);
            }
            return Cause(answeredBefore ? NetworkCause::DeviceGone : NetworkCause::NoDevice);
        case NeighbourState::Resolved: {
            // A refused port is an answer of its own, already told.
            if (answeredBefore || outcome.reply.portRefused) {
                return {};
            }
            NetworkDiagnosis firewall = FirewallSays(facts.firewall);
            return firewall.cause != NetworkCause::None ? firewall
                                                        : Cause(NetworkCause::DeviceSilent);
        }
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

NetworkDiagnosis DiagnoseNoAnswer(const UpdateOutcome& outcome, std::uint32_t address,
                                  NetworkFacts facts, FirewallFacts (*readFirewall)()) {
    NetworkDiagnosis diagnosis = DiagnoseNoAnswer(outcome, address, facts);
    if (diagnosis.cause != NetworkCause::DeviceSilent) {
        return diagnosis;
    }
    facts.firewall = readFirewall();
    return DiagnoseNoAnswer(outcome, address, facts);
}
