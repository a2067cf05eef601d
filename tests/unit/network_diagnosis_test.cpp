#include "app/network_diagnosis.h"

#include <gtest/gtest.h>

#include <string>

#include "app/outcome_detail.h"
#include "transfer/decimal_address.h"

namespace {

std::uint32_t At(const char* dotted) {
    std::uint32_t address = 0;
    EXPECT_TRUE(ParseDecimalAddress(dotted, &address)) << dotted;
    return address;
}

constexpr auto kUnknown = NeighbourState::Unknown;
constexpr auto kUnresolved = NeighbourState::Unresolved;
constexpr auto kResolved = NeighbourState::Resolved;

AdapterFacts Adapter(const char* name, std::uint32_t index, bool connected, const char* address,
                     int prefixLength, NeighbourState neighbour = kUnknown) {
    AdapterFacts adapter;
    adapter.name = name;
    adapter.index = index;
    adapter.connected = connected;
    adapter.addresses.push_back({At(address), prefixLength});
    adapter.neighbour = neighbour;
    return adapter;
}

AdapterFacts Loopback() {
    AdapterFacts adapter = Adapter("lo", 1, true, "127.0.0.1", 8);
    adapter.loopback = true;
    return adapter;
}

NetworkFacts Route(NetworkFacts facts, std::uint32_t index, bool onLink) {
    facts.routeKnown = true;
    facts.routeInterface = index;
    facts.routeOnLink = onLink;
    return facts;
}

// How an update ended, as the sequencer hands it over.
UpdateOutcome Ended(UpdateMessage message, UpdatePhase phase, ReplyKind kind, int sendError = 0) {
    UpdateOutcome outcome;
    outcome.message = message;
    outcome.phase = phase;
    outcome.reply.kind = kind;
    outcome.block = 3;
    outcome.blocks = 11;
    outcome.sendError = sendError;
    return outcome;
}

const UpdateOutcome kProbeUnanswered =
    Ended(UpdateMessage::NoConnection, UpdatePhase::Probing, ReplyKind::NoAnswer);
const UpdateOutcome kWriteUnanswered =
    Ended(UpdateMessage::UpdateFailed, UpdatePhase::WriteRequest, ReplyKind::NoAnswer);
const UpdateOutcome kBlockUnacknowledged =
    Ended(UpdateMessage::TransferFailed, UpdatePhase::Transferring, ReplyKind::NoAnswer);

const AdapterFacts kEthernetOut = Adapter("イーサネット", 11, false, "192.168.0.10", 24);
const AdapterFacts kWifiHome = Adapter("Wi-Fi", 12, true, "10.0.0.5", 24);

// An Ethernet out whose first address is its self-assigned one.
AdapterFacts EthernetOutWithTwoAddresses() {
    AdapterFacts adapter = Adapter("イーサネット", 11, false, "169.254.7.9", 16);
    adapter.addresses.push_back({At("192.168.0.10"), 24});
    return adapter;
}

// PCs as technicians meet them, each with the detail its message box and its
// record line end with; the device at the proposed 192.168.0.202.
TEST(NetworkDiagnosis, NamesTheFirstCauseThatHoldsOnEachPc) {
    UpdateOutcome portRefused = kProbeUnanswered;
    portRefused.reply.portRefused = true;
    const struct {
        const char* pc;
        UpdateOutcome outcome;
        NetworkFacts facts;
        const char* detail;
    } rows[] = {
        {"a laptop on Wi-Fi at home, its Ethernet to the device unplugged", kProbeUnanswered,
         Route({{kEthernetOut, kWifiHome}}, 12, false),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202を含むネットワークのアダプター"
         "「イーサネット 192.168.0.10/24」が接続されていません(ケーブル、Wi-Fi)"},
        {"Ethernet on the office's network, no route look-up answering (Wine)",
         kWriteUnanswered,
         {{Adapter("イーサネット", 4, true, "10.0.0.5", 24)}},
         "書き込み要求: 1秒以内に応答なし。192.168.0.202を含むネットワークに接続したアダプターが"
         "ありません。接続中: 「イーサネット 10.0.0.5/24」"},
        {"four networks, none the device's, the route through a gateway: three named",
         kProbeUnanswered,
         Route({{Loopback(), Adapter("A", 2, true, "10.0.0.5", 8),
                 Adapter("B", 3, true, "172.16.1.2", 16), Adapter("C", 5, true, "192.168.1.4", 24),
                 Adapter("D", 6, true, "192.168.2.4", 24)}},
               2, false),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202を含むネットワークに接続した"
         "アダプターがありません。接続中: 「A 10.0.0.5/8」、「B 172.16.1.2/16」、「C "
         "192.168.1.4/24」"},
        {"a VPN's route takes the address away from the Ethernet that holds it: nothing sure",
         kProbeUnanswered,
         Route({{Adapter("イーサネット", 11, true, "192.168.0.10", 24),
                 Adapter("VPN", 20, true, "10.8.0.2", 24)}},
               20, false),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし"},
        {"an adapter whose name holds a line break, an escape and a right-to-left override",
         kWriteUnanswered,
         {{Adapter("VPN\n\x1b[31m\xE2\x80\xAE\xC2\x85社内", 4, true, "10.0.0.5", 24)}},
         "書き込み要求: 1秒以内に応答なし。192.168.0.202を含むネットワークに接続したアダプターが"
         "ありません。接続中: 「VPN??[31m??社内 10.0.0.5/24」"},
        {"the Ethernet out, shown with its address on the device's network",
         kProbeUnanswered,
         {{EthernetOutWithTwoAddresses(), kWifiHome}},
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202を含むネットワークのアダプター"
         "「イーサネット 192.168.0.10/24」が接続されていません(ケーブル、Wi-Fi)"},
        {"the send refused for another reason than the route",
         Ended(UpdateMessage::NoConnection, UpdatePhase::Probing, ReplyKind::NoAnswer, 10013),
         {{kWifiHome}},
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。送信できませんでした(WinSockエラー10013)"},
        {"every adapter out, Wi-Fi off",
         kProbeUnanswered,
         {{Loopback(), Adapter("Wi-Fi", 12, false, "10.0.0.5", 24)}},
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。接続中のネットワークアダプターがありません"},
        {"two adapters on the device's network: no device on the one used, the other out",
         kProbeUnanswered,
         {{Adapter("Wi-Fi", 12, true, "192.168.0.20", 24, kUnresolved), kEthernetOut}},
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202を含むネットワークのアダプター"
         "「イーサネット 192.168.0.10/24」が接続されていません(ケーブル、Wi-Fi)"},
        {"two connected on the device's network, the route taking the one where it answered",
         kProbeUnanswered,
         Route({{Adapter("Wi-Fi", 12, true, "192.168.0.20", 24, kUnresolved),
                 Adapter("イーサネット", 11, true, "192.168.0.10", 24, kResolved)}},
               11, true),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202の装置はARPに応答しましたが、"
         "TFTPに応答しません。ファイアウォールか装置のモードが応答を止めている可能性があります"},
        {"the right network, nothing at the address",
         kWriteUnanswered,
         {{Adapter("イーサネット", 11, true, "192.168.0.10", 24, kUnresolved)}},
         "書き込み要求: 1秒以内に応答なし。192.168.0.202にはARPに応答する装置がありません"},
        {"a device answering ARP but not TFTP",
         kProbeUnanswered,
         {{Adapter("イーサネット", 11, true, "192.168.0.10", 24, kResolved)}},
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202の装置はARPに応答しましたが、"
         "TFTPに応答しません。ファイアウォールか装置のモードが応答を止めている可能性があります"},
        {"a device refusing the port: told already, no firewall",
         portRefused,
         {{Adapter("イーサネット", 11, true, "192.168.0.10", 24, kResolved)}},
         "\"/info.sys\"の読み出し: ポートが拒否されました(ICMP到達不能)"},
        {"the PC's own address typed",
         kProbeUnanswered,
         {{Adapter("イーサネット", 11, true, "192.168.0.202", 24, kUnresolved)}},
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202はこのPC自身のアドレスです"},
        {"the cable pulled during the transfer",
         kBlockUnacknowledged,
         {{Adapter("イーサネット", 11, false, "192.168.0.10", 24, kResolved), kWifiHome}},
         "ブロック3/11: 1秒以内に応答なし。転送中にアダプター「イーサネット "
         "192.168.0.10/24」の接続が"
         "切れました"},
        {"the device switched off during the transfer",
         kBlockUnacknowledged,
         {{Adapter("イーサネット", 11, true, "192.168.0.10", 24, kUnresolved)}},
         "ブロック3/11: 1秒以内に応答なし。転送中に192.168.0.202の装置がARPに応答しなくなりました"},
        {"during the transfer, the device still there: nothing changed, no firewall",
         kBlockUnacknowledged,
         {{Adapter("イーサネット", 11, true, "192.168.0.10", 24, kResolved)}},
         "ブロック3/11: 1秒以内に応答なし"},
        {"the one cable out, its routes gone: Windows refuses the send",
         Ended(UpdateMessage::UpdateFailed, UpdatePhase::WriteRequest, ReplyKind::NoAnswer, 10065),
         {{kEthernetOut}},
         "書き込み要求: 1秒以内に応答なし。送信できませんでした: 宛先への経路がありません(WinSock"
         "エラー10065)"},
        {"nothing of the network could be read",
         kProbeUnanswered,
         {},
         "\"/info.sys\"の読み出し: 1秒以内に応答なし"},
        {"an answer, not silence: the network is not looked at",
         Ended(UpdateMessage::UpdateFailed, UpdatePhase::WriteRequest, ReplyKind::Empty),
         {{Adapter("イーサネット", 11, true, "192.168.0.10", 24, kUnresolved)}},
         "書き込み要求: 空の応答"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pc);
        UpdateOutcome outcome = row.outcome;
        if (NothingAnswered(outcome)) {
            outcome.network = DiagnoseNoAnswer(outcome, At("192.168.0.202"), row.facts);
        }
        EXPECT_EQ(DescribeOutcome(outcome), row.detail);
    }
}

}  // namespace

#ifdef _WIN32
// What Windows itself says, read from the test run's own network namespace,
// where loopback alone is up: the judging above is only as good as these facts.
TEST(GatherNetworkFacts, ReadsTheLoopbackAdapterItsAddressAndPrefix) {
    const NetworkFacts facts = GatherNetworkFacts(At("127.0.0.1"));
    const AdapterFacts* loopback = nullptr;
    for (const AdapterFacts& adapter : facts.adapters) {
        if (adapter.loopback) {
            loopback = &adapter;
        }
    }
    ASSERT_NE(loopback, nullptr) << facts.adapters.size() << " adapters read, none loopback";
    EXPECT_TRUE(loopback->connected);
    EXPECT_FALSE(loopback->name.empty());
    ASSERT_FALSE(loopback->addresses.empty());
    EXPECT_EQ(loopback->addresses.front().address, At("127.0.0.1"));
    EXPECT_GE(loopback->addresses.front().length, 8);
    EXPECT_LE(loopback->addresses.front().length, 32);
}
#endif
