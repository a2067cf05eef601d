// What the Windows gatherer makes of what Windows says: the neighbour table's
// states, and Windows Firewall's policy as a fake INetFwPolicy2 hands it over
// (Wine carries out none of its reads), then once the real one.
#include <objbase.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/network_diagnosis.h"
#include "app/outcome_detail.h"
#include "platform/executable_path.h"
#include "platform/windows/firewall_facts_windows.h"
#include "platform/windows/network_facts_windows.h"

namespace {

TEST(NeighbourStateOf, OnlyAnAnswerOfTheLastSecondsIsADeviceThere) {
    const struct {
        NL_NEIGHBOR_STATE state;
        NeighbourState read;
    } rows[] = {
        {NlnsUnreachable, NeighbourState::Unresolved},
        {NlnsIncomplete, NeighbourState::Unresolved},
        {NlnsProbe, NeighbourState::Unknown},
        {NlnsDelay, NeighbourState::Unknown},
        {NlnsStale, NeighbourState::Unknown},  // perhaps the box updated before, at that address
        {NlnsReachable, NeighbourState::Resolved},
        {NlnsPermanent, NeighbourState::Unknown},  // typed in, never asked
        {static_cast<NL_NEIGHBOR_STATE>(42), NeighbourState::Unknown},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(NeighbourStateOf(row.state), row.read) << "state " << row.state;
    }
}

// ---- A Windows Firewall policy as the test sets it ----

// Each object counts what was taken of it; the test owns them all.
template <typename Interface>
class Counted : public Interface {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (id == __uuidof(IUnknown) || Answers(id)) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }
    virtual bool Answers(REFIID id) const { return id == __uuidof(Interface); }

    long references = 0;  // back to 0 once the reader has let go of everything
};

// The firewall's objects are automation objects as well; nothing is asked of that.
template <typename Interface>
class Dispatched : public Counted<Interface> {
  public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }
    bool Answers(REFIID id) const override {
        return id == __uuidof(IDispatch) || Counted<Interface>::Answers(id);
    }
};

// What the reader never asks for, or must never do.
#define NOT_ASKED(method, ...)                               \
    HRESULT STDMETHODCALLTYPE method(__VA_ARGS__) override { \
        return E_NOTIMPL;                                    \
    }

HRESULT Give(const std::wstring& text, BSTR* out) {
    *out = text.empty() ? nullptr : SysAllocString(text.c_str());
    return S_OK;
}

class FakeRule : public Dispatched<INetFwRule3> {
  public:
    std::wstring name = L"EthBoxVup";
    std::wstring program;  // empty: any program
    std::wstring service;
    std::wstring package;    // INetFwRule3 only
    std::wstring localUser;  // INetFwRule3 only
    NET_FW_RULE_DIRECTION direction = NET_FW_RULE_DIR_IN;
    bool enabled = true;
    LONG profiles = NET_FW_PROFILE2_PRIVATE;
    LONG protocol = NET_FW_IP_PROTOCOL_UDP;
    NET_FW_ACTION action = NET_FW_ACTION_ALLOW;
    std::wstring localPorts = L"*";
    std::wstring remotePorts = L"*";
    std::wstring remoteAddresses = L"*";
    bool newer = true;  // answers INetFwRule3 as Windows 8 and later do
    bool nameFails = false;

    bool Answers(REFIID id) const override {
        return id == __uuidof(IDispatch) || id == __uuidof(INetFwRule) ||
               (newer && (id == __uuidof(INetFwRule2) || id == __uuidof(INetFwRule3)));
    }
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* out) override {
        return nameFails ? E_ACCESSDENIED : Give(name, out);
    }
    HRESULT STDMETHODCALLTYPE get_ApplicationName(BSTR* out) override { return Give(program, out); }
    HRESULT STDMETHODCALLTYPE get_ServiceName(BSTR* out) override { return Give(service, out); }
    HRESULT STDMETHODCALLTYPE get_Protocol(LONG* out) override { return *out = protocol, S_OK; }
    HRESULT STDMETHODCALLTYPE get_LocalPorts(BSTR* out) override { return Give(localPorts, out); }
    HRESULT STDMETHODCALLTYPE get_RemotePorts(BSTR* out) override { return Give(remotePorts, out); }
    HRESULT STDMETHODCALLTYPE get_LocalAddresses(BSTR* out) override { return Give(L"*", out); }
    HRESULT STDMETHODCALLTYPE get_RemoteAddresses(BSTR* out) override {
        return Give(remoteAddresses, out);
    }
    HRESULT STDMETHODCALLTYPE get_Direction(NET_FW_RULE_DIRECTION* out) override {
        return *out = direction, S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Interfaces(VARIANT* out) override {
        return out->vt = VT_EMPTY, S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_InterfaceTypes(BSTR* out) override { return Give(L"All", out); }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* out) override {
        return *out = enabled ? VARIANT_TRUE : VARIANT_FALSE, S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Profiles(LONG* out) override { return *out = profiles, S_OK; }
    HRESULT STDMETHODCALLTYPE get_Action(NET_FW_ACTION* out) override {
        return *out = action, S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_LocalAppPackageId(BSTR* out) override {
        return Give(package, out);
    }
    HRESULT STDMETHODCALLTYPE get_LocalUserOwner(BSTR* out) override { return Give(L"", out); }
    HRESULT STDMETHODCALLTYPE get_LocalUserAuthorizedList(BSTR* out) override {
        return Give(localUser, out);
    }
    HRESULT STDMETHODCALLTYPE get_RemoteUserAuthorizedList(BSTR* out) override {
        return Give(L"", out);
    }
    HRESULT STDMETHODCALLTYPE get_RemoteMachineAuthorizedList(BSTR* out) override {
        return Give(L"", out);
    }
    HRESULT STDMETHODCALLTYPE get_SecureFlags(LONG* out) override { return *out = 0, S_OK; }
    NOT_ASKED(put_Name, BSTR)
    NOT_ASKED(get_Description, BSTR*)
    NOT_ASKED(put_Description, BSTR)
    NOT_ASKED(put_ApplicationName, BSTR)
    NOT_ASKED(put_ServiceName, BSTR)
    NOT_ASKED(put_Protocol, LONG)
    NOT_ASKED(put_LocalPorts, BSTR)
    NOT_ASKED(put_RemotePorts, BSTR)
    NOT_ASKED(put_LocalAddresses, BSTR)
    NOT_ASKED(put_RemoteAddresses, BSTR)
    NOT_ASKED(get_IcmpTypesAndCodes, BSTR*)
    NOT_ASKED(put_IcmpTypesAndCodes, BSTR)
    NOT_ASKED(put_Direction, NET_FW_RULE_DIRECTION)
    NOT_ASKED(put_Interfaces, VARIANT)
    NOT_ASKED(put_InterfaceTypes, BSTR)
    NOT_ASKED(put_Enabled, VARIANT_BOOL)
    NOT_ASKED(get_Grouping, BSTR*)
    NOT_ASKED(put_Grouping, BSTR)
    NOT_ASKED(put_Profiles, LONG)
    NOT_ASKED(get_EdgeTraversal, VARIANT_BOOL*)
    NOT_ASKED(put_EdgeTraversal, VARIANT_BOOL)
    NOT_ASKED(put_Action, NET_FW_ACTION)
    NOT_ASKED(get_EdgeTraversalOptions, LONG*)
    NOT_ASKED(put_EdgeTraversalOptions, LONG)
    NOT_ASKED(put_LocalAppPackageId, BSTR)
    NOT_ASKED(put_LocalUserOwner, BSTR)
    NOT_ASKED(put_LocalUserAuthorizedList, BSTR)
    NOT_ASKED(put_RemoteUserAuthorizedList, BSTR)
    NOT_ASKED(put_RemoteMachineAuthorizedList, BSTR)
    NOT_ASKED(put_SecureFlags, LONG)
};

// Hands the rules out as many at a time as asked for, fewer only at the end.
class FakeRuleList : public Counted<IEnumVARIANT> {
  public:
    FakeRuleList(std::vector<FakeRule>& rules, const DWORD& pauseMs)
        : rules_(rules), pauseMs_(pauseMs) {}
    HRESULT STDMETHODCALLTYPE Next(ULONG wanted, VARIANT* items, ULONG* got) override {
        Sleep(pauseMs_);
        *got = 0;
        for (; *got < wanted && next_ < rules_.size(); ++*got, ++next_) {
            items[*got].vt = VT_DISPATCH;
            items[*got].pdispVal = &rules_[next_];
            rules_[next_].AddRef();
        }
        return *got == wanted ? S_OK : S_FALSE;
    }
    NOT_ASKED(Skip, ULONG)
    NOT_ASKED(Reset)
    NOT_ASKED(Clone, IEnumVARIANT**)

  private:
    std::vector<FakeRule>& rules_;
    const DWORD& pauseMs_;
    std::size_t next_ = 0;
};

class FakeRules : public Dispatched<INetFwRules> {
  public:
    explicit FakeRules(FakeRuleList& list) : list_(list) {}
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** out) override {
        list_.AddRef();
        *out = &list_;
        return S_OK;
    }
    NOT_ASKED(get_Count, LONG*)
    NOT_ASKED(Add, INetFwRule*)
    NOT_ASKED(Remove, BSTR)
    NOT_ASKED(Item, BSTR, INetFwRule**)

  private:
    FakeRuleList& list_;
};

struct ProfileSettings {
    bool enabled = true;
    bool blockAll = false;
    NET_FW_ACTION inbound = NET_FW_ACTION_BLOCK;
};

class FakePolicy : public Dispatched<INetFwPolicy2> {
  public:
    LONG inForce = NET_FW_PROFILE2_PRIVATE;
    ProfileSettings domain;
    ProfileSettings privateOne;
    ProfileSettings publicOne;
    std::vector<FakeRule> rules;
    HRESULT failing = S_OK;  // what get_BlockAllInboundTraffic answers, when not S_OK
    DWORD pauseMs = 0;       // each batch of rules takes so long
    FakeRuleList list{rules, pauseMs};
    FakeRules ruleCollection{list};

    HRESULT STDMETHODCALLTYPE get_CurrentProfileTypes(LONG* out) override {
        return *out = inForce, S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_FirewallEnabled(NET_FW_PROFILE_TYPE2 type,
                                                  VARIANT_BOOL* out) override {
        return *out = Of(type).enabled ? VARIANT_TRUE : VARIANT_FALSE, S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_BlockAllInboundTraffic(NET_FW_PROFILE_TYPE2 type,
                                                         VARIANT_BOOL* out) override {
        *out = Of(type).blockAll ? VARIANT_TRUE : VARIANT_FALSE;
        return failing != S_OK ? failing : S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_DefaultInboundAction(NET_FW_PROFILE_TYPE2 type,
                                                       NET_FW_ACTION* out) override {
        return *out = Of(type).inbound, S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Rules(INetFwRules** out) override {
        ruleCollection.AddRef();
        *out = &ruleCollection;
        return S_OK;
    }
    NOT_ASKED(put_FirewallEnabled, NET_FW_PROFILE_TYPE2, VARIANT_BOOL)
    NOT_ASKED(get_ExcludedInterfaces, NET_FW_PROFILE_TYPE2, VARIANT*)
    NOT_ASKED(put_ExcludedInterfaces, NET_FW_PROFILE_TYPE2, VARIANT)
    NOT_ASKED(put_BlockAllInboundTraffic, NET_FW_PROFILE_TYPE2, VARIANT_BOOL)
    NOT_ASKED(get_NotificationsDisabled, NET_FW_PROFILE_TYPE2, VARIANT_BOOL*)
    NOT_ASKED(put_NotificationsDisabled, NET_FW_PROFILE_TYPE2, VARIANT_BOOL)
    NOT_ASKED(get_UnicastResponsesToMulticastBroadcastDisabled, NET_FW_PROFILE_TYPE2, VARIANT_BOOL*)
    NOT_ASKED(put_UnicastResponsesToMulticastBroadcastDisabled, NET_FW_PROFILE_TYPE2, VARIANT_BOOL)
    NOT_ASKED(get_ServiceRestriction, INetFwServiceRestriction**)
    NOT_ASKED(EnableRuleGroup, LONG, BSTR, VARIANT_BOOL)
    NOT_ASKED(IsRuleGroupEnabled, LONG, BSTR, VARIANT_BOOL*)
    NOT_ASKED(RestoreLocalFirewallDefaults)
    NOT_ASKED(put_DefaultInboundAction, NET_FW_PROFILE_TYPE2, NET_FW_ACTION)
    NOT_ASKED(get_DefaultOutboundAction, NET_FW_PROFILE_TYPE2, NET_FW_ACTION*)
    NOT_ASKED(put_DefaultOutboundAction, NET_FW_PROFILE_TYPE2, NET_FW_ACTION)
    NOT_ASKED(get_IsRuleGroupCurrentlyEnabled, BSTR, VARIANT_BOOL*)
    NOT_ASKED(get_LocalPolicyModifyState, NET_FW_MODIFY_STATE*)

    // Everything the reader took, it gave back.
    long Outstanding() const {
        long taken = references + ruleCollection.references + list.references;
        for (const FakeRule& rule : rules) {
            taken += rule.references;
        }
        return taken;
    }

  private:
    const ProfileSettings& Of(NET_FW_PROFILE_TYPE2 type) const {
        return type == NET_FW_PROFILE2_DOMAIN    ? domain
               : type == NET_FW_PROFILE2_PRIVATE ? privateOne
                                                 : publicOne;
    }
};

std::wstring ThisProgram() {
    NativePath path;
    EXPECT_TRUE(GetExecutablePath(path));
    return path;
}

// The facts in one line: each profile in force, then each rule kept.
std::string Described(const FirewallFacts& facts) {
    if (!facts.known) {
        return "not known";
    }
    static const char* const kNames[] = {"domain", "private", "public"};
    std::string text;
    for (const FirewallProfileFacts& profile : facts.profilesInForce) {
        text += std::string(kNames[static_cast<int>(profile.profile)]) +
                (profile.enabled ? " on" : " off") + (profile.blockAllInbound ? " block-all" : "") +
                (profile.inboundBlockedByDefault ? " blocks" : " allows") + "; ";
    }
    for (const FirewallRuleFacts& rule : facts.rules) {
        text += (rule.allows ? "allow " : "block ") + rule.name;
        for (int profile = 0; profile < kFirewallProfiles; ++profile) {
            text += (rule.profiles & (1 << profile)) != 0 ? std::string(" ") + kNames[profile] : "";
        }
        text += rule.conditional ? " conditional; " : "; ";
    }
    return text;
}

FirewallFacts Read(FakePolicy& policy, DWORD limitMs = 5000) {
    const FirewallFacts facts = ReadFirewallPolicy(policy, ThisProgram(), limitMs);
    EXPECT_EQ(policy.Outstanding(), 0) << "objects the reader did not release";
    return facts;
}

// Only the rules that could decide for the device's replies to this program
// on the private network in force are kept.
TEST(ReadFirewallPolicy, KeepsTheRulesThatCouldDecideForThisProgram) {
    const std::wstring self = ThisProgram();
    std::wstring upper = self;
    CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    SetEnvironmentVariableW(L"ETHBOX_TEST_FOLDER", self.substr(0, self.rfind(L'\\')).c_str());
    const std::wstring throughVariable = L"%ETHBOX_TEST_FOLDER%" + self.substr(self.rfind(L'\\'));
    const struct {
        const char* what;
        void (*set)(FakeRule& rule);
        std::wstring program;
        const char* kept;
    } rows[] = {
        {"allowing this path", [](FakeRule&) {}, self, "allow EthBoxVup private; "},
        {"blocking it, in every profile (only the one in force counted)",
         [](FakeRule& rule) {
             rule.action = NET_FW_ACTION_BLOCK;
             rule.profiles = NET_FW_PROFILE2_ALL;
         },
         self, "block EthBoxVup private; "},
        {"its path in capitals", [](FakeRule&) {}, upper, "allow EthBoxVup private; "},
        {"its path through a variable", [](FakeRule&) {}, throughVariable,
         "allow EthBoxVup private; "},
        {"any program, any protocol", [](FakeRule& rule) { rule.protocol = 256; }, L"",
         "allow EthBoxVup private; "},
        {"remote addresses of the local subnet",
         [](FakeRule& rule) { rule.remoteAddresses = L"LocalSubnet"; }, self,
         "allow EthBoxVup private; "},
        {"on Windows 7, no newer interface", [](FakeRule& rule) { rule.newer = false; }, self,
         "allow EthBoxVup private; "},
        {"ports of its own", [](FakeRule& rule) { rule.localPorts = L"69"; }, self,
         "allow EthBoxVup private conditional; "},
        {"remote addresses elsewhere", [](FakeRule& rule) { rule.remoteAddresses = L"10.0.0.0/8"; },
         self, "allow EthBoxVup private conditional; "},
        {"one user's", [](FakeRule& rule) { rule.localUser = L"O:LSD:(A;;CC;;;S-1-5-21)"; }, self,
         "allow EthBoxVup private conditional; "},
        {"another path", [](FakeRule&) {}, L"C:\\Program Files\\Other\\other.exe", ""},
        {"this path with more after it", [](FakeRule&) {}, self + L".bak", ""},
        {"another profile", [](FakeRule& rule) { rule.profiles = NET_FW_PROFILE2_PUBLIC; }, self,
         ""},
        {"disabled", [](FakeRule& rule) { rule.enabled = false; }, self, ""},
        {"outbound", [](FakeRule& rule) { rule.direction = NET_FW_RULE_DIR_OUT; }, self, ""},
        {"TCP only", [](FakeRule& rule) { rule.protocol = NET_FW_IP_PROTOCOL_TCP; }, self, ""},
        {"a service's", [](FakeRule& rule) { rule.service = L"Dnscache"; }, L"", ""},
        {"an app package's", [](FakeRule& rule) { rule.package = L"S-1-15-2-1"; }, L"", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakePolicy policy;
        policy.rules.resize(1);
        policy.rules[0].program = row.program;
        row.set(policy.rules[0]);
        EXPECT_EQ(Described(Read(policy)), std::string("private on blocks; ") + row.kept);
    }
}

TEST(ReadFirewallPolicy, ReadsEveryProfileInForceAndEveryRuleOfMany) {
    FakePolicy policy;
    policy.inForce = NET_FW_PROFILE2_DOMAIN | NET_FW_PROFILE2_PUBLIC;
    policy.domain.enabled = false;
    policy.publicOne.blockAll = true;
    policy.publicOne.inbound = NET_FW_ACTION_ALLOW;
    policy.rules.resize(70);  // more than are asked for at once
    policy.rules[2].profiles = NET_FW_PROFILE2_DOMAIN | NET_FW_PROFILE2_PRIVATE;
    policy.rules[2].name = L"社内";
    policy.rules[66].profiles = NET_FW_PROFILE2_PUBLIC;
    policy.rules[66].action = NET_FW_ACTION_BLOCK;
    policy.rules[66].name = std::wstring(120, L'x');
    EXPECT_EQ(Described(Read(policy)),
              "domain off blocks; public on block-all allows; allow 社内 "
              "domain; block " +
                  std::string(100, 'x') + "… public; ");
}

TEST(ReadFirewallPolicy, AnyCallThatFailsAndTheTimeLimitLeaveItNotKnown) {
    const struct {
        const char* what;
        void (*set)(FakePolicy& policy);
        DWORD limitMs;
    } rows[] = {
        {"a profile's setting refused", [](FakePolicy& p) { p.failing = E_ACCESSDENIED; }, 5000},
        {"a setting not carried out, as by Wine", [](FakePolicy& p) { p.failing = E_NOTIMPL; },
         5000},
        {"a rule's name refused",
         [](FakePolicy& p) {
             p.rules.resize(3);
             p.rules[2].nameFails = true;
         },
         5000},
        {"the rules still coming at the time limit",
         [](FakePolicy& p) {
             p.rules.resize(3);
             p.pauseMs = 60;
         },
         40},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakePolicy policy;
        row.set(policy);
        EXPECT_EQ(Described(Read(policy, row.limitMs)), "not known");
    }
}

bool UnderWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Wine carries out none of INetFwPolicy2's reads: through the real COM the
// firewall is not known, and the device that answered ARP is told of as it
// was before the firewall was read.
TEST(GatherFirewallFacts, UnderWineTheRealPolicyLeavesTheMessageAsItWas) {
    if (!UnderWine()) {
        GTEST_SKIP() << "Windows' own firewall answers";
    }
    NetworkFacts facts;
    AdapterFacts ethernet;
    ethernet.name = "イーサネット";
    ethernet.index = 11;
    ethernet.connected = true;
    ethernet.addresses.push_back({0xC0A8000A, 24});  // 192.168.0.10/24
    ethernet.neighbour = NeighbourState::Resolved;
    facts.adapters.push_back(ethernet);
    EXPECT_FALSE(GatherFirewallFacts().known);

    UpdateOutcome outcome;
    outcome.message = UpdateMessage::NoConnection;
    outcome.phase = UpdatePhase::Probing;
    outcome.reply.kind = ReplyKind::NoAnswer;
    // 192.168.0.202, the firewall read as the program reads it.
    outcome.network = DiagnoseNoAnswer(outcome, 0xC0A800CA, facts, GatherFirewallFacts);
    EXPECT_EQ(DescribeOutcome(outcome),
              "\"/info.sys\"の読み出し: 1秒以内に応答なし。192.168.0.202の装置はARPに応答しました"
              "が、TFTPに応答しません。ファイアウォールか装置のモードが応答を止めている可能性が"
              "あります");
}

}  // namespace
