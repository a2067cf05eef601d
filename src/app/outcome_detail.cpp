#include "app/outcome_detail.h"

#include <cerrno>
#include <cstdio>
#include <initializer_list>

#include "common/ui_texts.h"
#include "platform/network_facts.h"

namespace {

constexpr std::uint8_t kOpcodeData = 3;
constexpr std::uint8_t kOpcodeError = 5;

std::string Fill(DetailText text, std::initializer_list<std::string> values) {
    return FillText(DetailTextOf(text), values);
}

std::string Text(DetailText text) {
    return Fill(text, {});
}

std::string Number(long long value) {
    return std::to_string(value);
}

std::string Hex(std::uint8_t value) {
    static const char kDigits[] = "0123456789ABCDEF";
    return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

const char* KindName(DeviceKind kind) {
    return kind == DeviceKind::Ap ? "ap" : "e2";
}

std::string Tenths(std::int64_t tenths) {
    return Number(tenths / 10) + "." + Number(tenths % 10);
}

std::string Dotted(std::uint32_t address) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        text += Number((address >> shift) & 0xFFu) + (shift > 0 ? "." : "");
    }
    return text;
}

// Winsock's and the POSIX socket layer's numbers for "no route to there".
bool IsNoRoute(int socketError) {
    constexpr int kWsaNetworkUnreachable = 10051;
    constexpr int kWsaHostUnreachable = 10065;
    return socketError == kWsaNetworkUnreachable || socketError == kWsaHostUnreachable ||
           socketError == ENETUNREACH || socketError == EHOSTUNREACH;
}

// Text from outside the program (an adapter's name anyone may set, a path
// from the command line) in one line that shows as it is: every control
// character, and every character that would break or reorder the line,
// becomes "?". Other characters, Japanese ones included, stay.
std::string OneLine(const std::string& text) {
    std::string shown;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        const auto next = at + 1 < text.size() ? static_cast<unsigned char>(text[at + 1]) : 0;
        const auto third = at + 2 < text.size() ? static_cast<unsigned char>(text[at + 2]) : 0;
        if (byte < 0x20 || byte == 0x7F) {
            shown += '?';
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {  // U+0080 to U+009F
            shown += '?';
            at += 1;
        } else if (byte == 0xE2 && ((next == 0x80 && third >= 0xA8 && third <= 0xAE) ||
                                    (next == 0x81 && third >= 0xA6 && third <= 0xA9))) {
            shown += '?';  // line and paragraph separators, bidirectional embeddings and isolates
            at += 2;
        } else {
            shown += text[at];
        }
    }
    return shown;
}

std::string Adapters(const std::vector<AdapterShown>& adapters) {
    std::string text;
    for (const AdapterShown& adapter : adapters) {
        text += (text.empty() ? "" : "、") +
                Fill(DetailText::AdapterAddress,
                     {OneLine(adapter.name),
                      Dotted(adapter.address) + "/" + Number(adapter.prefixLength)});
    }
    return text;
}

// The profiles of Windows Firewall named in `profiles`, in Windows' order.
std::string Profiles(std::uint8_t profiles) {
    static const DetailText kNames[kFirewallProfiles] = {
        DetailText::ProfileDomain, DetailText::ProfilePrivate, DetailText::ProfilePublic};
    std::string text;
    for (int profile = 0; profile < kFirewallProfiles; ++profile) {
        if ((profiles & (1u << profile)) != 0) {
            text += (text.empty() ? "" : "、") + Text(kNames[profile]);
        }
    }
    return text;
}

// Windows Firewall is not why the device's replies did not come.
std::string FirewallNotTheCauseText(const NetworkDiagnosis& network, DetailText reason) {
    return Fill(DetailText::FirewallNotTheCause,
                {Dotted(network.address), Fill(reason, {OneLine(network.firewallRule)}),
                 Profiles(network.firewallProfiles)});
}

// Why nothing answered, as the shell found it; nothing when no cause held.
std::string NetworkCauseText(const UpdateOutcome& outcome) {
    const NetworkDiagnosis& network = outcome.network;
    const std::string address = Dotted(network.address);
    const std::string adapters = Adapters(network.adapters);
    const std::string rule = OneLine(network.firewallRule);
    const std::string profiles = Profiles(network.firewallProfiles);
    switch (network.cause) {
        case NetworkCause::None:
            break;
        case NetworkCause::SendRefused:
            return Fill(
                IsNoRoute(outcome.sendError) ? DetailText::SendRefused : DetailText::SendFailed,
                {Number(outcome.sendError)});
        case NetworkCause::OwnAddress:
            return Fill(DetailText::OwnAddress, {address});
        case NetworkCause::OtherNetwork:
            return Fill(DetailText::OtherNetwork, {address, adapters});
        case NetworkCause::NoConnectedAdapter:
            return Text(DetailText::NoConnectedAdapter);
        case NetworkCause::AdapterDisconnected:
            return Fill(DetailText::AdapterDisconnected, {address, adapters});
        case NetworkCause::NoDevice:
            return Fill(DetailText::NoDevice, {address});
        case NetworkCause::DeviceSilent:
            return Fill(DetailText::DeviceSilent, {address});
        case NetworkCause::AdapterLost:
            return Fill(DetailText::AdapterLost, {address, adapters});
        case NetworkCause::DeviceGone:
            return Fill(DetailText::DeviceGone, {address});
        case NetworkCause::TwoAdapters:
            return Fill(DetailText::TwoAdapters,
                        {address, adapters, Adapters({network.adapters.front()})});
        case NetworkCause::ViaGateway:
            return Fill(DetailText::ViaGateway, {address, Dotted(network.gateway), adapters});
        case NetworkCause::WriteIgnored:
            return Fill(DetailText::WriteIgnored, {address});
        case NetworkCause::FirewallRuleBlocks:
            return Fill(DetailText::FirewallRuleBlocks, {address, rule, profiles});
        case NetworkCause::FirewallBlocksAll:
            return Fill(DetailText::FirewallBlocksAll, {address, "", profiles});
        case NetworkCause::FirewallBlocksByDefault:
            return Fill(DetailText::FirewallBlocksByDefault, {address, "", profiles});
        case NetworkCause::FirewallOff:
            return FirewallNotTheCauseText(network, DetailText::FirewallOffReason);
        case NetworkCause::FirewallAllows:
            return FirewallNotTheCauseText(network, DetailText::FirewallAllowsReason);
        case NetworkCause::FirewallOpen:
            return FirewallNotTheCauseText(network, DetailText::FirewallOpenReason);
    }
    return {};
}

std::string ImageRefusalReason(const UpdateOutcome& outcome) {
    switch (outcome.imageRefusal) {
        case ImageRefusal::NameRefused:
            return Text(DetailText::NameRefused);
        case ImageRefusal::NotFound:
            return Text(DetailText::FileNotFound);
        case ImageRefusal::TooSmall:
            return Fill(DetailText::FileTooSmall, {Number(outcome.fileSize)});
        case ImageRefusal::TooLarge:
            return Fill(DetailText::FileTooLarge, {Number(outcome.fileSize)});
        case ImageRefusal::ReadError:
        case ImageRefusal::None:
            break;
    }
    return Text(DetailText::FileReadError);
}

// Where it looked, so that a file put in the current folder instead of the
// program's is seen at once.
std::string ImageRefusalText(const UpdateOutcome& outcome) {
    if (outcome.firmwarePath.empty()) {
        return ImageRefusalReason(outcome);
    }
    return ImageRefusalReason(outcome) +
           Fill(DetailText::FirmwarePath, {OneLine(outcome.firmwarePath)});
}

std::string EndpointFailureText(const UpdateOutcome& outcome) {
    const char* call = "WSAStartup";
    switch (outcome.endpointFailure) {
        case EndpointFailure::AddressTooLong:
            return Text(DetailText::AddressTooLong);
        case EndpointFailure::Socket:
            call = "socket";
            break;
        case EndpointFailure::Bind:
            call = "bind";
            break;
        case EndpointFailure::Startup:
        case EndpointFailure::None:
            break;
    }
    return Fill(DetailText::SocketCall, {call, Number(outcome.socketError)});
}

// What the last reply was, whatever the phase.
std::string ReplyText(const DeviceReply& reply) {
    switch (reply.kind) {
        case ReplyKind::NoAnswer:
            return Text(reply.portRefused ? DetailText::PortRefused : DetailText::NoAnswer);
        case ReplyKind::Empty:
            return Text(DetailText::EmptyAnswer);
        case ReplyKind::Packet:
            if (reply.opcode == kOpcodeError) {
                return Fill(DetailText::ErrorPacket,
                            {Number(reply.number), DeviceTextFitToShow(reply.errorText)});
            }
            return Fill(DetailText::OtherPacket, {Number(reply.opcode), Number(reply.number)});
        case ReplyKind::ReceiveError:
        case ReplyKind::None:
            break;
    }
    return Text(DetailText::ReceiveError);
}

// The probe also knows what a first block of "/info.sys" said.
std::string ProbeReplyText(const UpdateOutcome& outcome) {
    const DeviceReply& reply = outcome.reply;
    std::string text;
    if (reply.kind == ReplyKind::Empty && outcome.emptyAnswers > 0) {
        return Text(DetailText::AtProbe) +
               Fill(DetailText::EmptyAnswers, {Number(outcome.emptyAnswers)});
    }
    if (reply.kind == ReplyKind::Packet && reply.opcode == kOpcodeData && reply.number == 1) {
        text =
            outcome.reportedKind == DeviceKind::None
                ? Fill(DetailText::NoKindByte, {Hex(reply.firstByte)})
                : Fill(DetailText::OtherKind, {std::string(1, static_cast<char>(reply.firstByte)),
                                               KindName(outcome.reportedKind)});
    } else {
        text = ReplyText(reply);
    }
    if (outcome.emptyAnswers > 0) {
        text += Fill(DetailText::AfterEmpty, {Number(outcome.emptyAnswers)});
    }
    return Text(DetailText::AtProbe) + text;
}

std::string BlockText(const UpdateOutcome& outcome) {
    return Fill(DetailText::AtBlock, {Number(outcome.block), Number(outcome.blocks)});
}

std::string CancelledText(const UpdateOutcome& outcome) {
    switch (outcome.phase) {
        case UpdatePhase::Probing:
            return Text(DetailText::CancelledProbe);
        case UpdatePhase::FlashWriting:
            return Fill(DetailText::CancelledSecond, {Number(outcome.second)});
        default:
            break;
    }
    return Fill(DetailText::CancelledBlock, {Number(outcome.block), Number(outcome.blocks)});
}

}  // namespace

std::string FillText(const char* pattern, std::initializer_list<std::string> values) {
    std::string filled;
    for (const char* at = pattern; *at != '\0'; ++at) {
        const auto index = static_cast<std::size_t>(at[1] - '1');
        if (at[0] == '%' && at[1] >= '1' && at[1] <= '9' && index < values.size()) {
            filled += *(values.begin() + index);
            ++at;
        } else {
            filled += *at;
        }
    }
    return filled;
}

std::string ExitStatusText(std::uint32_t status) {
    // A crash ends a process with an exception code, which reads in hex.
    if (status < 0x10000) {
        return std::to_string(status);
    }
    char text[16];
    const int length = std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
    return length > 0 ? std::string(text) : std::string();
}

std::string NoOutcomeDetail(std::uint32_t exitStatus) {
    return Fill(DetailText::EndedWithoutOutcome, {ExitStatusText(exitStatus)});
}

std::string DeviceTextFitToShow(const char* text) {
    std::string fit;
    for (std::size_t at = 0; at < kDeviceTextBytes && text[at] != '\0'; ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        fit += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '?';
    }
    return fit;
}

std::string DescribeOutcome(const UpdateOutcome& outcome) {
    switch (outcome.message) {
        case UpdateMessage::FirmwareUnreadable:
            return ImageRefusalText(outcome);
        case UpdateMessage::SocketsFailed:
            return EndpointFailureText(outcome);
        case UpdateMessage::Completed:
            return Fill(DetailText::Transferred,
                        {Number(outcome.block), Tenths(outcome.transferTenths)});
        case UpdateMessage::Interrupted:
            return CancelledText(outcome);
        case UpdateMessage::NoConnection:
        case UpdateMessage::UpdateFailed:
        case UpdateMessage::TransferFailed:
            break;
    }
    switch (outcome.phase) {
        case UpdatePhase::Probing:
            return ProbeReplyText(outcome) + NetworkCauseText(outcome);
        case UpdatePhase::WriteRequest:
            return Text(DetailText::AtWriteRequest) + ReplyText(outcome.reply) +
                   NetworkCauseText(outcome);
        case UpdatePhase::Transferring:
            return BlockText(outcome) + ReplyText(outcome.reply) + NetworkCauseText(outcome);
        default:
            break;
    }
    return Text(DetailText::NoUpdate);
}

std::string MessageWithDetail(const UpdateOutcome& outcome) {
    std::string text = MessageText(outcome.message);
    if (outcome.message != UpdateMessage::Completed) {
        text += "\n\n" + DescribeOutcome(outcome);
    }
    return text;
}
