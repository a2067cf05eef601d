#include "platform/windows/firewall_facts_windows.h"

#include <objbase.h>
#include <oleauto.h>

#include <algorithm>

#include "platform/executable_path.h"
#include "platform/extended_length_path.h"
#include "platform/windows/system_library.h"
#include "platform/windows/utf8_from_wide.h"

namespace {

constexpr LONG kProtocolUdp = 17;
constexpr LONG kProtocolAny = 256;  // NET_FW_IP_PROTOCOL_ANY
constexpr ULONG kRulesAtOnce = 32;
constexpr std::size_t kRuleNameUnits = 100;  // UTF-16 units of a rule's name kept

// The calls of OLE Automation the reading needs, from the system folder's
// oleaut32.dll, which the program does not import.
struct Automation {
    SystemLibrary library{L"oleaut32.dll"};
    decltype(::SysFreeString)* freeString =
        library.Find<decltype(::SysFreeString)>("SysFreeString");
    decltype(::VariantClear)* clear = library.Find<decltype(::VariantClear)>("VariantClear");
    bool Ready() const { return freeString != nullptr && clear != nullptr; }
};

// An interface pointer released when it goes.
template <typename Interface>
class Held {
  public:
    Held() = default;
    ~Held() {
        if (pointer_ != nullptr) {
            pointer_->Release();
        }
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    Interface** Out() { return &pointer_; }
    void** OutVoid() { return reinterpret_cast<void**>(&pointer_); }
    Interface* operator->() const { return pointer_; }
    Interface& operator*() const { return *pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

  private:
    Interface* pointer_ = nullptr;
};

// A string a call hands over, freed when it goes.
class Text {
  public:
    explicit Text(const Automation& automation) : automation_(automation) {}
    ~Text() { automation_.freeString(text_); }
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    BSTR* Out() { return &text_; }
    std::wstring Value() const { return text_ != nullptr ? std::wstring(text_) : std::wstring(); }
    bool Empty() const { return text_ == nullptr || text_[0] == L'\0'; }

  private:
    const Automation& automation_;
    BSTR text_ = nullptr;
};

bool SameText(const std::wstring& one, const wchar_t* other) {
    return CompareStringOrdinal(one.c_str(), static_cast<int>(one.size()), other, -1, TRUE) ==
           CSTR_EQUAL;
}

// Windows Firewall's "any": "*", or nothing given.
bool IsAny(const Text& text) {
    return text.Empty() || text.Value() == L"*";
}

// Remote addresses that hold a device on the PC's own network (the only
// device whose replies are judged by the firewall): any, or the local subnet.
bool HoldsLocalSubnet(const Text& addresses) {
    if (IsAny(addresses)) {
        return true;
    }
    const std::wstring list = addresses.Value();
    for (std::size_t begin = 0; begin <= list.size();) {
        const std::size_t end = std::min(list.find(L',', begin), list.size());
        if (SameText(list.substr(begin, end - begin), L"LocalSubnet")) {
            return true;
        }
        begin = end + 1;
    }
    return false;
}

std::wstring Expanded(const std::wstring& path) {
    const DWORD needed = ExpandEnvironmentStringsW(path.c_str(), nullptr, 0);
    if (needed == 0) {
        return path;
    }
    std::wstring expanded(needed, L'\0');
    const DWORD written = ExpandEnvironmentStringsW(path.c_str(), expanded.data(), needed);
    if (written == 0 || written > needed) {
        return path;
    }
    expanded.resize(written - 1);
    return expanded;
}

// A name of any length shown in a line: cut, never inside a surrogate pair.
std::string ShownName(std::wstring name) {
    if (name.size() > kRuleNameUnits) {
        std::size_t keep = kRuleNameUnits;
        if (IS_HIGH_SURROGATE(name[keep - 1])) {
            --keep;
        }
        name.resize(keep);
        name += L"…";
    }
    return Utf8FromWide(name);
}

struct Profile {
    NET_FW_PROFILE_TYPE2 type;
    FirewallProfile profile;
};
constexpr Profile kProfiles[kFirewallProfiles] = {
    {NET_FW_PROFILE2_DOMAIN, FirewallProfile::Domain},
    {NET_FW_PROFILE2_PRIVATE, FirewallProfile::Private},
    {NET_FW_PROFILE2_PUBLIC, FirewallProfile::Public},
};

class PolicyReading {
  public:
    PolicyReading(const Automation& automation, const std::wstring& program, DWORD timeLimitMs)
        : automation_(automation),
          program_(WithoutExtendedLengthPrefix(program)),
          deadline_(GetTickCount64() + timeLimitMs) {}

    bool Read(INetFwPolicy2& policy, FirewallFacts& facts) {
        return ReadProfiles(policy, facts) && ReadRules(policy, facts);
    }

  private:
    // False, for good, once a call failed or the time is up.
    bool Went(HRESULT result) {
        failed_ = failed_ || FAILED(result) || GetTickCount64() > deadline_;
        return !failed_;
    }

    bool ReadProfiles(INetFwPolicy2& policy, FirewallFacts& facts) {
        if (!Went(policy.get_CurrentProfileTypes(&inForce_))) {
            return false;
        }
        for (const Profile& profile : kProfiles) {
            if ((inForce_ & profile.type) == 0) {
                continue;
            }
            VARIANT_BOOL enabled = VARIANT_FALSE;
            VARIANT_BOOL blockAll = VARIANT_FALSE;
            NET_FW_ACTION inbound = NET_FW_ACTION_ALLOW;
            if (!Went(policy.get_FirewallEnabled(profile.type, &enabled)) ||
                !Went(policy.get_BlockAllInboundTraffic(profile.type, &blockAll)) ||
                !Went(policy.get_DefaultInboundAction(profile.type, &inbound))) {
                return false;
            }
            facts.profilesInForce.push_back({profile.profile, enabled != VARIANT_FALSE,
                                             blockAll != VARIANT_FALSE,
                                             inbound == NET_FW_ACTION_BLOCK});
        }
        return true;
    }

    bool ReadRules(INetFwPolicy2& policy, FirewallFacts& facts) {
        Held<INetFwRules> rules;
        Held<IUnknown> collection;
        Held<IEnumVARIANT> items;
        if (!Went(policy.get_Rules(rules.Out())) || !rules ||
            !Went(rules->get__NewEnum(collection.Out())) || !collection ||
            !Went(collection->QueryInterface(__uuidof(IEnumVARIANT), items.OutVoid())) || !items) {
            return false;
        }
        for (;;) {
            VARIANT batch[kRulesAtOnce];
            for (VARIANT& item : batch) {
                item.vt = VT_EMPTY;
            }
            ULONG got = 0;
            const HRESULT result = items->Next(kRulesAtOnce, batch, &got);
            got = std::min(got, kRulesAtOnce);
            for (ULONG at = 0; at < got; ++at) {
                if (!failed_) {
                    ReadRule(batch[at], facts);
                }
                automation_.clear(&batch[at]);
            }
            // S_FALSE: fewer than were asked for, the last of them.
            if (!Went(result) || result == S_FALSE || got == 0) {
                return !failed_;
            }
        }
    }

    // Only the rules that could decide for the device's replies to this
    // program are kept; the test for each comes before the next call.
    void ReadRule(const VARIANT& item, FirewallFacts& facts) {
        IUnknown* object = item.vt == VT_DISPATCH  ? item.pdispVal
                           : item.vt == VT_UNKNOWN ? item.punkVal
                                                   : nullptr;
        Held<INetFwRule> rule;
        if (object == nullptr) {
            Went(E_UNEXPECTED);
            return;
        }
        NET_FW_RULE_DIRECTION direction = NET_FW_RULE_DIR_OUT;
        VARIANT_BOOL enabled = VARIANT_FALSE;
        LONG profiles = 0;
        LONG protocol = 0;
        Text program(automation_);
        if (!Went(object->QueryInterface(__uuidof(INetFwRule), rule.OutVoid())) || !rule ||
            !Went(rule->get_Direction(&direction)) || direction != NET_FW_RULE_DIR_IN ||
            !Went(rule->get_Enabled(&enabled)) || enabled == VARIANT_FALSE ||
            !Went(rule->get_Profiles(&profiles)) || (profiles & inForce_) == 0 ||
            !Went(rule->get_Protocol(&protocol)) ||
            (protocol != kProtocolUdp && protocol != kProtocolAny) ||
            !Went(rule->get_ApplicationName(program.Out())) ||
            !(program.Empty() || IsThisProgram(program.Value()))) {
            return;
        }
        // Windows 8 and later; Windows 7 has neither the interface nor what it tells.
        Held<INetFwRule3> newer;
        rule->QueryInterface(__uuidof(INetFwRule3), newer.OutVoid());
        Text service(automation_);
        if (!Went(rule->get_ServiceName(service.Out())) || !service.Empty() ||
            (newer && !OfNoPackage(*newer))) {
            return;
        }
        FirewallRuleFacts read;
        NET_FW_ACTION action = NET_FW_ACTION_BLOCK;
        Text name(automation_);
        if (!Went(rule->get_Action(&action)) || !Went(rule->get_Name(name.Out()))) {
            return;
        }
        read.name = ShownName(name.Value());
        read.allows = action == NET_FW_ACTION_ALLOW;
        for (const Profile& profile : kProfiles) {
            if ((profiles & inForce_ & profile.type) != 0) {
                read.profiles |= ProfileBit(profile.profile);
            }
        }
        read.conditional = HasConditions(*rule) || (newer && !HasNoUsers(*newer));
        facts.rules.push_back(read);
    }

    // The firewall takes the program's path with its variables (%ProgramFiles%)
    // expanded, and any case.
    bool IsThisProgram(const std::wstring& named) const {
        const std::wstring path = WithoutExtendedLengthPrefix(Expanded(named));
        return CompareStringOrdinal(path.c_str(), static_cast<int>(path.size()), program_.c_str(),
                                    static_cast<int>(program_.size()), TRUE) == CSTR_EQUAL;
    }

    // A rule of an app package's is that app's alone.
    bool OfNoPackage(INetFwRule3& rule) {
        Text package(automation_);
        return Went(rule.get_LocalAppPackageId(package.Out())) && package.Empty();
    }

    // Anything that narrows the rule beyond this program on the PC's own
    // network; a condition that cannot be read is one as well.
    bool HasConditions(INetFwRule& rule) {
        Text localPorts(automation_);
        Text remotePorts(automation_);
        Text localAddresses(automation_);
        Text remoteAddresses(automation_);
        Text interfaceTypes(automation_);
        VARIANT interfaces;
        interfaces.vt = VT_EMPTY;
        const bool open =
            SUCCEEDED(rule.get_LocalPorts(localPorts.Out())) && IsAny(localPorts) &&
            SUCCEEDED(rule.get_RemotePorts(remotePorts.Out())) && IsAny(remotePorts) &&
            SUCCEEDED(rule.get_LocalAddresses(localAddresses.Out())) && IsAny(localAddresses) &&
            SUCCEEDED(rule.get_RemoteAddresses(remoteAddresses.Out())) &&
            HoldsLocalSubnet(remoteAddresses) &&
            SUCCEEDED(rule.get_InterfaceTypes(interfaceTypes.Out())) &&
            (interfaceTypes.Empty() || SameText(interfaceTypes.Value(), L"All")) &&
            SUCCEEDED(rule.get_Interfaces(&interfaces)) &&
            (interfaces.vt == VT_EMPTY || interfaces.vt == VT_NULL);
        automation_.clear(&interfaces);
        return !open;
    }

    // Users or computers a newer rule names.
    bool HasNoUsers(INetFwRule3& rule) {
        Text owner(automation_);
        Text localUsers(automation_);
        Text remoteUsers(automation_);
        Text remoteMachines(automation_);
        LONG secure = 0;
        return SUCCEEDED(rule.get_LocalUserOwner(owner.Out())) && owner.Empty() &&
               SUCCEEDED(rule.get_LocalUserAuthorizedList(localUsers.Out())) &&
               localUsers.Empty() &&
               SUCCEEDED(rule.get_RemoteUserAuthorizedList(remoteUsers.Out())) &&
               remoteUsers.Empty() &&
               SUCCEEDED(rule.get_RemoteMachineAuthorizedList(remoteMachines.Out())) &&
               remoteMachines.Empty() && SUCCEEDED(rule.get_SecureFlags(&secure)) && secure == 0;
    }

    const Automation& automation_;
    const std::wstring program_;
    const ULONGLONG deadline_;
    LONG inForce_ = 0;
    bool failed_ = false;
};

}  // namespace

FirewallFacts ReadFirewallPolicy(INetFwPolicy2& policy, const std::wstring& programPath,
                                 DWORD timeLimitMs) {
    const Automation automation;
    FirewallFacts facts;
    if (!automation.Ready() || programPath.empty()) {
        return {};
    }
    PolicyReading reading(automation, programPath, timeLimitMs);
    if (!reading.Read(policy, facts)) {
        return {};
    }
    facts.known = true;
    return facts;
}

FirewallFacts GatherFirewallFacts() {
    const DWORD timeLimitMs = kFirewallReadingLimitMs;
    const ULONGLONG began = GetTickCount64();
    NativePath program;
    if (!GetExecutablePath(program)) {
        return {};
    }
    // Both by their full path, as every DLL the program loads itself; COM
    // then finds hnetcfg already there. Neither is ever freed: COM may leave
    // threads and callbacks of its own in them after CoUninitialize.
    static const SystemLibrary* const kComLibrary = new SystemLibrary(L"ole32.dll");
    static const SystemLibrary* const kFirewallLibrary = new SystemLibrary(L"hnetcfg.dll");
    const auto initialize = kComLibrary->Find<decltype(::CoInitializeEx)>("CoInitializeEx");
    const auto uninitialize = kComLibrary->Find<decltype(::CoUninitialize)>("CoUninitialize");
    const auto create = kComLibrary->Find<decltype(::CoCreateInstance)>("CoCreateInstance");
    if (!kFirewallLibrary->Loaded() || initialize == nullptr || uninitialize == nullptr ||
        create == nullptr ||
        FAILED(initialize(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {
        return {};
    }
    FirewallFacts facts;
    {
        Held<INetFwPolicy2> policy;
        const HRESULT made = create(__uuidof(NetFwPolicy2), nullptr, CLSCTX_INPROC_SERVER,
                                    __uuidof(INetFwPolicy2), policy.OutVoid());
        const ULONGLONG spent = GetTickCount64() - began;
        if (SUCCEEDED(made) && policy && spent < timeLimitMs) {
            facts = ReadFirewallPolicy(*policy, program, static_cast<DWORD>(timeLimitMs - spent));
        }
    }
    uninitialize();
    return facts;
}
