#include "app/network_diagnosis.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

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

NetworkFacts Pc(std::vector<AdapterFacts> adapters) {
    NetworkFacts facts;
    facts.adapters = std::move(adapters);
    return facts;
}

NetworkFacts Route(NetworkFacts facts, std::uint32_t index, bool onLink,
                   const char* gateway = nullptr, std::uint8_t prefixLength = 24) {
    facts.routeKnown = true;
    facts.routeInterface = index;
    facts.routeOnLink = onLink;
    facts.routeGateway = gateway != nullptr ? At(gateway) : 0;
    facts.routePrefixLength = prefixLength;
    return facts;
}

constexpr auto kDomain = FirewallProfile::Domain;
constexpr auto kPrivate = FirewallProfile::Private;
constexpr auto kPublic = FirewallProfile::Public;
constexpr bool kAllow = true;
constexpr bool kBlock = false;

// A profile in force; as Windows sets it up unless told otherwise.
FirewallProfileFacts Profile(FirewallProfile profile, bool enabled = true,
                             bool blockAllInbound = false, bool blockedByDefault = true) {
    return {profile, enabled, blockAllInbound, blockedByDefault};
}

FirewallRuleFacts Rule(const char* name, bool allows, std::initializer_list<FirewallProfile> in,
                       bool conditional = false) {
    FirewallRuleFacts rule;
    rule.name = name;
    rule.allows = allows;
    for (const FirewallProfile profile : in) {
        rule.profiles |= ProfileBit(profile);
    }
    rule.conditional = conditional;
    return rule;
}

// The PC where the device at 192.168.0.202 answered ARP on the Ethernet,
// with what Windows Firewall says.
NetworkFacts DeviceThereBehind(std::vector<FirewallProfileFacts> profiles,
                               std::vector<FirewallRuleFacts> rules = {}) {
    NetworkFacts facts = Pc({Adapter("イーサネット", 11, true, "192.168.0.10", 24, kResolved)});
    facts.firewall.known = true;
    facts.firewall.profilesInForce = std::move(profiles);
    facts.firewall.rules = std::move(rules);
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
const UpdateOutcome kWriteUnansweredAfterProbe = [] {
    UpdateOutcome outcome = kWriteUnanswered;
    outcome.probeAnswered = true;
    return outcome;
}();
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
         Route(Pc({kEthernetOut, kWifiHome}), 12, false),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202を含むネットワークのアダプター"
         "「イーサネット 192.168.0.10/24」が接続されていません(ケーブル、Wi-Fi)"},
        {"Ethernet on the office's network, no route look-up answering (Wine)", kWriteUnanswered,
         Pc({Adapter("イーサネット", 4, true, "10.0.0.5", 24)}),
         "書き込み要求: 1秒以内に応答なし。192.168.0.202を含むネットワークに接続したアダプターが"
         "ありません。接続中: 「イーサネット 10.0.0.5/24」"},
        {"four networks, none the device's, no route read: three named", kProbeUnanswered,
         Pc({Loopback(), Adapter("A", 2, true, "10.0.0.5", 8),
             Adapter("B", 3, true, "172.16.1.2", 16), Adapter("C", 5, true, "192.168.1.4", 24),
             Adapter("D", 6, true, "192.168.2.4", 24)}),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。"
         "192.168.0.202を含むネットワークに接続したアダプターがありません。接続中: 「A 10.0.0.5/8」"
         "、「B 172.16.1.2/16」、「C 192.168.1.4/24」"},
        {"a VPN's route takes the address away from the Ethernet that holds it: nothing sure",
         kProbeUnanswered,
         Route(Pc({Adapter("イーサネット", 11, true, "192.168.0.10", 24),
                   Adapter("VPN", 20, true, "10.8.0.2", 24)}),
               20, false),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし"},
        {"an adapter whose name holds a line break, an escape and a right-to-left override",
         kWriteUnanswered,
         Pc({Adapter("VPN\n\x1b[31m\xE2\x80\xAE\xC2\x85社内", 4, true, "10.0.0.5", 24)}),
         "書き込み要求: 1秒以内に応答なし。192.168.0.202を含むネットワークに接続したアダプターが"
         "ありません。接続中: 「VPN??[31m??社内 10.0.0.5/24」"},
        {"the Ethernet out, shown with its address on the device's network", kProbeUnanswered,
         Pc({EthernetOutWithTwoAddresses(), kWifiHome}),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202を含むネットワークのアダプター"
         "「イーサネット 192.168.0.10/24」が接続されていません(ケーブル、Wi-Fi)"},
        {"the send refused for another reason than the route",
         Ended(UpdateMessage::NoConnection, UpdatePhase::Probing, ReplyKind::NoAnswer, 10013),
         Pc({kWifiHome}),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。送信できませんでした(WinSockエラー10013)"},
        {"every adapter out, Wi-Fi off", kProbeUnanswered,
         Pc({Loopback(), Adapter("Wi-Fi", 12, false, "10.0.0.5", 24)}),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。接続中のネットワークアダプターがありません"},
        {"two adapters on the device's network: no device on the one used, the other out",
         kProbeUnanswered,
         Pc({Adapter("Wi-Fi", 12, true, "192.168.0.20", 24, kUnresolved), kEthernetOut}),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202を含むネットワークのアダプター"
         "「イーサネット 192.168.0.10/24」が接続されていません(ケーブル、Wi-Fi)"},
        {"two connected on the device's network, the route taking the one where it answered",
         kProbeUnanswered,
         Route(Pc({Adapter("Wi-Fi", 12, true, "192.168.0.20", 24, kUnresolved),
                   Adapter("イーサネット", 11, true, "192.168.0.10", 24, kResolved)}),
               11, true),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202の装置はARPに応答しましたが、"
         "TFTPに応答しません。ファイアウォールか装置のモードが応答を止めている可能性があります"},
        {"the right network, nothing at the address", kWriteUnanswered,
         Pc({Adapter("イーサネット", 11, true, "192.168.0.10", 24, kUnresolved)}),
         "書き込み要求: 1秒以内に応答なし。192.168.0.202にはARPに応答する装置がありません"},
        {"a device answering ARP but not TFTP", kProbeUnanswered,
         Pc({Adapter("イーサネット", 11, true, "192.168.0.10", 24, kResolved)}),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202の装置はARPに応答しましたが、"
         "TFTPに応答しません。ファイアウォールか装置のモードが応答を止めている可能性があります"},
        {"a device refusing the port: told already, no firewall", portRefused,
         Pc({Adapter("イーサネット", 11, true, "192.168.0.10", 24, kResolved)}),
         "\"/info.sys\"の読み出し: ポートが拒否されました(ICMP到達不能)"},
        {"the PC's own address typed", kProbeUnanswered,
         Pc({Adapter("イーサネット", 11, true, "192.168.0.202", 24, kUnresolved)}),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202はこのPC自身のアドレスです"},
        {"the cable pulled during the transfer", kBlockUnacknowledged,
         Pc({Adapter("イーサネット", 11, false, "192.168.0.10", 24, kResolved), kWifiHome}),
         "ブロック3/11: 1秒以内に応答なし。転送中にアダプター「イーサネット 192.168.0.10/24」"
         "の接続が切れました"},
        {"the device switched off during the transfer", kBlockUnacknowledged,
         Pc({Adapter("イーサネット", 11, true, "192.168.0.10", 24, kUnresolved)}),
         "ブロック3/11: 1秒以内に応答なし。転送中に192.168.0.202の装置がARPに応答しなくなりました"},
        {"during the transfer, the device still there: nothing changed, no firewall",
         kBlockUnacknowledged,
         Pc({Adapter("イーサネット", 11, true, "192.168.0.10", 24, kResolved)}),
         "ブロック3/11: 1秒以内に応答なし"},
        {"the one cable out, its routes gone: Windows refuses the send",
         Ended(UpdateMessage::UpdateFailed, UpdatePhase::WriteRequest, ReplyKind::NoAnswer, 10065),
         Pc({kEthernetOut}),
         "書き込み要求: 1秒以内に応答なし。送信できませんでした: 宛先への経路がありません(WinSock"
         "エラー10065)"},
        {"nothing of the network could be read", kProbeUnanswered, Pc({}),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし"},
        {"an answer, not silence: the network is not looked at",
         Ended(UpdateMessage::UpdateFailed, UpdatePhase::WriteRequest, ReplyKind::Empty),
         Pc({Adapter("イーサネット", 11, true, "192.168.0.10", 24, kUnresolved)}),
         "書き込み要求: 空の応答"},
        {"a device behind a router: the route through the gateway, not a network of the PC's",
         kProbeUnanswered,
         Route(Pc({Loopback(), Adapter("イーサネット", 4, true, "10.1.1.5", 24, kResolved),
                   kWifiHome}),
               4, false, "10.1.1.1"),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。"
         "192.168.0.202はこのPCのネットワークの外(ルーターの先)にあり、アダプター「イーサネット"
         " 10.1.1.5/24」からゲートウェイ10.1.1.1を経由して送信しました"},
        {"on the office's network, only the default route through its gateway: no network of the "
         "PC's holds the device, no router is named",
         kProbeUnanswered,
         Route(Pc({Adapter("イーサネット", 4, true, "10.1.1.5", 24, kResolved)}), 4, false,
               "10.1.1.1", 0),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202を含むネットワークに接続した"
         "アダプターがありません。接続中: 「イーサネット 10.1.1.5/24」"},
        {"Wi-Fi and Ethernet both on the device's network, Windows sending through the Wi-Fi",
         kProbeUnanswered,
         Route(Pc({Adapter("イーサネット", 11, true, "192.168.0.10", 24),
                   Adapter("Wi-Fi", 12, true, "192.168.0.20", 24, kUnresolved)}),
               12, true),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202を含むネットワークに接続した"
         "アダプターが複数あります: 「Wi-Fi 192.168.0.20/24」、「イーサネット 192.168.0.10/24」。"
         "Windowsは「Wi-Fi 192.168.0.20/24」から送信するため、ほかのアダプターにつないだ装置は応答"
         "できません"},
        {"the kind check answered, then not the write request: not the firewall, not the address",
         kWriteUnansweredAfterProbe, DeviceThereBehind({Profile(kPublic)}),
         "書き込み要求: 1秒以内に応答なし。192.168.0.202の装置は種別確認に応答しましたが、書き込み"
         "要求には応答しません"},
        {"キャンセル pressed at Windows' prompt: its rule blocks this program on the public "
         "network",
         kProbeUnanswered,
         DeviceThereBehind({Profile(kPublic)}, {Rule("ethboxvup.exe", kBlock, {kPublic})}),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202の装置はARPに応答しましたが、"
         "Windows ファイアウォールの規則「ethboxvup.exe」"
         "がこのプログラムへの受信をブロックしています(パブリックプロファイル)。"
         "管理者の権限で「Windows Defender ファイアウォール」→「詳細設定」"
         "からこの規則を変更できます"},
        {"a rule that blocks, beside one that allows, its name holding a line break",
         kWriteUnanswered,
         DeviceThereBehind({Profile(kPrivate)}, {Rule("EthBoxVup", kAllow, {kPrivate}),
                                                 Rule("社内\n禁止", kBlock, {kPrivate, kPublic})}),
         "書き込み要求: 1秒以内に応答なし。192.168.0.202の装置はARPに応答しましたが、Windows"
         " ファイアウォールの規則「社内?禁止」"
         "がこのプログラムへの受信をブロックしています(プライベートプロファイル)。"
         "管理者の権限で「Windows Defender ファイアウォール」→「詳細設定」"
         "からこの規則を変更できます"},
        {"every inbound connection blocked on the private network, the program allowed",
         kProbeUnanswered,
         DeviceThereBehind({Profile(kPrivate, true, true)},
                           {Rule("EthBoxVup", kAllow, {kPrivate})}),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202の装置はARPに応答しましたが、"
         "Windows"
         " ファイアウォールがプライベートプロファイルですべての着信接続をブロックしているため、"
         "応答が届きません。管理者の権限で「Windows Defender ファイアウォール」→「詳細設定」"
         "から変更できます"},
        {"on, inbound blocked by default, rules only for another profile or with ports of their "
         "own",
         kProbeUnanswered,
         DeviceThereBehind({Profile(kPrivate)}, {Rule("EthBoxVup", kAllow, {kPublic}),
                                                 Rule("TFTP", kAllow, {kPublic}, true)}),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202の装置はARPに応答しましたが、"
         "Windows ファイアウォールがプライベートプロファイルで受信を既定でブロックし、"
         "このプログラムを許可する規則がないため、応答が届きません。"
         "管理者の権限で「ファイアウォールを介したアプリまたは機能を許可」"
         "からこのプログラムを許可してください"},
        {"the firewall off in both profiles in force", kProbeUnanswered,
         DeviceThereBehind({Profile(kDomain, false), Profile(kPrivate, false)},
                           {Rule("ethboxvup.exe", kBlock, {kPublic})}),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202の装置はARPに応答しましたが、"
         "TFTPに応答しません。Windows ファイアウォールはドメイン、"
         "プライベートプロファイルで無効なので原因ではなく、装置自身がTFTPに応答していません"},
        {"off on the private network, a rule allowing this program on the public one",
         kProbeUnanswered,
         DeviceThereBehind({Profile(kPrivate, false), Profile(kPublic)},
                           {Rule("EthBoxVup", kAllow, {kPublic})}),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202の装置はARPに応答しましたが、"
         "TFTPに応答しません。Windows ファイアウォールはパブリックプロファイルで規則「EthBoxVup」"
         "によりこのプログラムを許可しているので原因ではなく、装置自身がTFTPに応答していません"},
        // Never a guess: today's sentence where the profiles disagree, or a
        // rule's own conditions leave it open.
        {"allowed on the private network, blocked by default on the public one", kProbeUnanswered,
         DeviceThereBehind({Profile(kPrivate), Profile(kPublic)},
                           {Rule("EthBoxVup", kAllow, {kPrivate})}),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202の装置はARPに応答しましたが、"
         "TFTPに応答しません。ファイアウォールか装置のモードが応答を止めている可能性があります"},
        {"a rule that blocks only some ports, beside one that allows", kProbeUnanswered,
         DeviceThereBehind({Profile(kPrivate)}, {Rule("EthBoxVup", kAllow, {kPrivate}),
                                                 Rule("UDP 5000", kBlock, {kPrivate}, true)}),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202の装置はARPに応答しましたが、"
         "TFTPに応答しません。ファイアウォールか装置のモードが応答を止めている可能性があります"},
        {"on, inbound allowed by default: a rule with ports of its own adds nothing",
         kProbeUnanswered,
         DeviceThereBehind({Profile(kPrivate, true, false, false)},
                           {Rule("TFTP", kAllow, {kPrivate}, true)}),
         "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202の装置はARPに応答しましたが、"
         "TFTPに応答しません。Windows"
         " ファイアウォールはプライベートプロファイルで受信を既定で許可しているので原因ではなく、"
         "装置自身がTFTPに応答していません"},
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

int firewallReadings = 0;
FirewallFacts FirewallBlockingByDefault() {
    ++firewallReadings;
    return DeviceThereBehind({Profile(kPrivate)}).firewall;
}

// COM is started for the firewall only where what it says could be told.
TEST(NetworkDiagnosis, ReadsTheFirewallOnlyForADeviceThatAnsweredArp) {
    const struct {
        const char* pc;
        UpdateOutcome outcome;
        NetworkFacts facts;
        int readings;
        NetworkCause cause;
    } rows[] = {
        {"a device answering ARP but not TFTP", kProbeUnanswered, DeviceThereBehind({}), 1,
         NetworkCause::FirewallBlocksByDefault},
        {"nothing at the address", kProbeUnanswered,
         Pc({Adapter("イーサネット", 11, true, "192.168.0.10", 24, kUnresolved)}), 0,
         NetworkCause::NoDevice},
        {"the PC's own address", kProbeUnanswered,
         Pc({Adapter("イーサネット", 11, true, "192.168.0.202", 24, kResolved)}), 0,
         NetworkCause::OwnAddress},
        {"the kind check answered", kWriteUnansweredAfterProbe, DeviceThereBehind({}), 0,
         NetworkCause::WriteIgnored},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pc);
        firewallReadings = 0;
        const NetworkDiagnosis diagnosis = DiagnoseNoAnswer(row.outcome, At("192.168.0.202"),
                                                            row.facts, FirewallBlockingByDefault);
        EXPECT_EQ(firewallReadings, row.readings);
        EXPECT_EQ(diagnosis.cause, row.cause);
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
