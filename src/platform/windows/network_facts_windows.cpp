// In this order: iphlpapi.h needs the types of the three before it.
#include <winsock2.h>

#include <windows.h>

#include <ws2ipdef.h>

#include <iphlpapi.h>

#include <string>
#include <vector>

#include "platform/network_facts.h"

namespace {

// iphlpapi.dll is no KnownDLL: imported, it would be looked for in the
// program's folder first, where a planted copy could stand in for it. It is
// loaded by its full path in the system's folder instead, and each function
// looked up, so that one missing (GetBestRoute2 before Vista) leaves out only
// its own part.
class IpHelper {
  public:
    IpHelper() {
        wchar_t folder[MAX_PATH] = {};
        const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            // Altered search: on a Windows 7 without the search-order update,
            // its own dependencies are then looked for beside it, not beside us.
            module_ = LoadLibraryExW((std::wstring(folder, length) + L"\\iphlpapi.dll").c_str(),
                                     nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        }
    }
    ~IpHelper() {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    IpHelper(const IpHelper&) = delete;
    IpHelper& operator=(const IpHelper&) = delete;

    template <typename Function>
    Function* Find(const char* name) const {
        if (module_ == nullptr) {
            return nullptr;
        }
        return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

  private:
    HMODULE module_ = nullptr;
};

constexpr ULONG kAdaptersBufferBytes =
    16 * 1024;                        // Microsoft's advice: enough for most PCs at once
constexpr int kAdaptersAttempts = 3;  // the list may grow between two calls

std::string Utf8(const wchar_t* text) {
    if (text == nullptr || *text == L'\0') {
        return {};
    }
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) {
        return {};
    }
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), length, nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(length - 1));
    return utf8;
}

std::uint32_t HostOrder(const sockaddr_in& address) {
    return ntohl(address.sin_addr.s_addr);
}

void ReadAdapters(const IpHelper& helper, NetworkFacts& facts) {
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
        read.name = Utf8(adapter->FriendlyName);
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

NeighbourState StateOf(NL_NEIGHBOR_STATE state) {
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

void ReadNeighbours(const IpHelper& helper, std::uint32_t address, NetworkFacts& facts) {
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
                adapter.neighbour = StateOf(entry.State);
            }
        }
    }
    freeMibTable(table);
}

// GetBestRoute2 where Windows has it (Wine answers it with "not supported"),
// else GetBestRoute, which Windows 7 has as well.
void ReadRoute(const IpHelper& helper, std::uint32_t address, NetworkFacts& facts) {
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
            return;
        }
    }
    if (const auto getBestRoute = helper.Find<decltype(::GetBestRoute)>("GetBestRoute")) {
        MIB_IPFORWARDROW route{};
        if (getBestRoute(htonl(address), 0, &route) == NO_ERROR) {
            facts.routeKnown = true;
            facts.routeInterface = route.dwForwardIfIndex;
            facts.routeOnLink = route.dwForwardType == MIB_IPROUTE_TYPE_DIRECT;
        }
    }
}

}  // namespace

NetworkFacts GatherNetworkFacts(std::uint32_t address) {
    NetworkFacts facts;
    const IpHelper helper;
    ReadAdapters(helper, facts);
    ReadNeighbours(helper, address, facts);
    ReadRoute(helper, address, facts);
    return facts;
}
