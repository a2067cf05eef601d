#include "platform/windows/network_facts_windows.h"

#include <string>
#include <vector>

#include "platform/windows/system_library.h"
#include "platform/windows/utf8_from_wide.h"

namespace {

constexpr ULONG kAdaptersBufferBytes =
    16 * 1024;                        // Microsoft's advice: enough for most PCs at once
constexpr int kAdaptersAttempts = 3;  // the list may grow between two calls

std::uint32_t HostOrder(const sockaddr_in& address) {
    return ntohl(address.sin_addr.s_addr);
}

void ReadAdapters(const SystemLibrary& helper, NetworkFacts& facts) {
    const auto getAdaptersAddresses =
        helper.Find<decltype(::GetAdaptersAddresses)>("GetAdaptersAddresses");
    if (getAdaptersAddresses == nullptr) {
        return;
    }
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    std::vector<unsigned char> buffer;
    ULONG size = kAdaptersBufferBytes;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < kAdaptersAttempts && result == ERROR_BUFFER_OVERFLOW;
         ++attempt) {
        buffer.assign(size, 0);
        result = getAdaptersAddresses(
            AF_INET, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result != NO_ERROR) {
        return;
    }
    for (auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data());
         adapter != nullptr; adapter = adapter->Next) {
        AdapterFacts read;
        read.name = adapter->FriendlyName != nullptr ? Utf8FromWide(adapter->FriendlyName) : "";
        read.index = adapter->IfIndex;
        read.connected = adapter->OperStatus == IfOperStatusUp;
        read.loopback = adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
        for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress;
             unicast != nullptr; unicast = unicast->Next) {
            const SOCKADDR* address = unicast->Address.lpSockaddr;
            if (address != nullptr && address->sa_family == AF_INET) {
                read.addresses.push_back({HostOrder(*reinterpret_cast<const sockaddr_in*>(address)),
                                          static_cast<int>(unicast->OnLinkPrefixLength)});
            }
        }
        facts.adapters.push_back(read);
    }
}

void ReadNeighbours(const SystemLibrary& helper, std::uint32_t address, NetworkFacts& facts) {
    const auto getIpNetTable2 = helper.Find<decltype(::GetIpNetTable2)>("GetIpNetTable2");
    const auto freeMibTable = helper.Find<decltype(::FreeMibTable)>("FreeMibTable");
    MIB_IPNET_TABLE2* table = nullptr;
    if (getIpNetTable2 == nullptr || freeMibTable == nullptr ||
        getIpNetTable2(AF_INET, &table) != NO_ERROR || table == nullptr) {
        return;
    }
    for (ULONG row = 0; row < table->NumEntries; ++row) {
        const MIB_IPNET_ROW2& entry = table->Table[row];
        if (HostOrder(entry.Address.Ipv4) != address) {
            continue;
        }
        for (AdapterFacts& adapter : facts.adapters) {
            if (adapter.index == entry.InterfaceIndex) {
                adapter.neighbour = NeighbourStateOf(entry.State);
            }
        }
    }
    freeMibTable(table);
}

// GetBestRoute2 where Windows has it (Wine answers it with "not supported"),
// else GetBestRoute, which Windows 7 has as well.
void ReadRoute(const SystemLibrary& helper, std::uint32_t address, NetworkFacts& facts) {
    if (const auto getBestRoute2 = helper.Find<decltype(::GetBestRoute2)>("GetBestRoute2")) {
        SOCKADDR_INET destination{};
        destination.Ipv4.sin_family = AF_INET;
        destination.Ipv4.sin_addr.s_addr = htonl(address);
        MIB_IPFORWARD_ROW2 route{};
        SOCKADDR_INET source{};
        if (getBestRoute2(nullptr, 0, nullptr, &destination, 0, &route, &source) == NO_ERROR) {
            facts.routeKnown = true;
            facts.routeInterface = route.InterfaceIndex;
            facts.routeOnLink = route.NextHop.Ipv4.sin_addr.s_addr == 0;
            facts.routeGateway = HostOrder(route.NextHop.Ipv4);
            facts.routePrefixLength = route.DestinationPrefix.PrefixLength;
            return;
        }
    }
    if (const auto getBestRoute = helper.Find<decltype(::GetBestRoute)>("GetBestRoute")) {
        MIB_IPFORWARDROW route{};
        if (getBestRoute(htonl(address), 0, &route) == NO_ERROR) {
            facts.routeKnown = true;
            facts.routeInterface = route.dwForwardIfIndex;
            facts.routeOnLink = route.dwForwardType == MIB_IPROUTE_TYPE_DIRECT;
            facts.routeGateway = facts.routeOnLink ? 0 : ntohl(route.dwForwardNextHop);
            for (std::uint32_t mask = ntohl(route.dwForwardMask); (mask & 0x80000000U) != 0;
                 mask <<= 1) {
                ++facts.routePrefixLength;
            }
        }
    }
}

}  // namespace

NeighbourState NeighbourStateOf(NL_NEIGHBOR_STATE state) {
    switch (state) {
        case NlnsUnreachable:
        case NlnsIncomplete:
            return NeighbourState::Unresolved;
        // Only an answer to address resolution within the last seconds says a
        // device is there now: a stale entry may be the box updated before
        // at the same address, and a permanent one was typed in.
        case NlnsReachable:
            return NeighbourState::Resolved;
        default:
            break;
    }
    return NeighbourState::Unknown;
}

NetworkFacts GatherNetworkFacts(std::uint32_t address) {
    NetworkFacts facts;
    // iphlpapi.dll is no KnownDLL; GetBestRoute2 is missing before Vista.
    const SystemLibrary helper(L"iphlpapi.dll");
    ReadAdapters(helper, facts);
    ReadNeighbours(helper, address, facts);
    ReadRoute(helper, address, facts);
    return facts;
}
