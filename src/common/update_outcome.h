#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/launch_options.h"
#include "common/socket_facts.h"
#include "common/ui_texts.h"

// How one update ended, with what the program observed on the way: the
// message it showed and the facts behind it, each filled by the module that
// learnt it (the image loader, the endpoint, the receive) and handed up to the
// sequencer's one ending place. The record and the exit code of unattended
// runs are made from it; nothing here is worked out again afterwards.

struct UpdateOutcome;

// The exit code of an unattended run, and column 2 of the record: the
// message's, except that a cancel while the device writes its flash
// (kCancelledWhileFlashing) is told apart from one before anything was
// written (7), since the device then goes on writing and must not be sent
// the image again at once.
constexpr int kCancelledWhileFlashing = 9;
int OutcomeCode(const UpdateOutcome& outcome);

// The exit code, and the record's code, of a box of several whose process
// ended without telling the process that started it its outcome (ended from
// the Task Manager, or crashed): no outcome is known, only that it ended.
constexpr int kExitNoOutcome = 10;

// Why a firmware image was refused (message M1).
enum class ImageRefusal : std::uint8_t {
    None,
    NameRefused,  // a name no file can have ("?" or "*", or not text of the code page)
    NotFound,     // no regular file of that name could be opened
    TooSmall,     // under 5120 bytes: fileSize says how many
    TooLarge,     // 188416 bytes or more: fileSize says how many
    ReadError,    // a seek or read failed
};

// What the last receive of an update brought.
enum class ReplyKind : std::uint8_t {
    None,          // nothing was received yet
    NoAnswer,      // nothing within the time
    ReceiveError,  // the receive failed (a datagram too large among others)
    Empty,         // a datagram of no bytes
    Packet,        // a datagram: its opcode and number are kept
};

// The ERROR text of a device is kept to this many bytes, before any check.
constexpr std::size_t kDeviceTextBytes = 100;

struct DeviceReply {
    ReplyKind kind = ReplyKind::None;
    bool portRefused = false;    // the wait saw the port refused (ICMP) before it ended
    std::uint8_t opcode = 0;     // Packet: byte 1
    std::uint16_t number = 0;    // Packet: bytes 2 and 3, the block number or ERROR code
    std::uint8_t firstByte = 0;  // DATA: its first data byte, 0 when it has none
    // ERROR: its text as received, up to its terminator and at most
    // kDeviceTextBytes bytes. Raw: whatever the device sent, not yet fit to show.
    char errorText[kDeviceTextBytes + 1] = {};
};

// Where the update was when it ended.
enum class UpdatePhase : std::uint8_t {
    Idle,          // no update was running
    Starting,      // loading the image, opening the endpoint
    Probing,       // reading "/info.sys"
    WriteRequest,  // waiting for the acknowledgement of the write request
    Transferring,  // sending the image
    FlashWriting,  // the device writes its flash
    Completed,
};

// Why nothing answered, as the PC's network looked once the update had ended
// (the Win32 shell reads it then, sending nothing): the first cause that
// holds, or None when none is certain.
enum class NetworkCause : std::uint8_t {
    None,
    SendRefused,          // the socket layer refused the send: sendError says why
    OwnAddress,           // the address is one of this PC's own, loopback included
    OtherNetwork,         // no connected adapter's network holds it: adapters names up to three
    NoConnectedAdapter,   // and no adapter is connected at all
    AdapterDisconnected,  // the adapter whose network holds it, adapters[0], is not connected
    NoDevice,             // the neighbour table: no device answered address resolution
    DeviceSilent,         // the neighbour table knows a device there, yet TFTP went unanswered
    AdapterLost,          // during the transfer: adapters[0] is no longer connected
    DeviceGone,           // during the transfer: the device no longer answers address resolution
    TwoAdapters,          // connected adapters share its network: adapters, the route's first
    ViaGateway,           // on no network of the PC: sent to gateway through adapters[0]
    WriteIgnored,         // the device answered the kind check, then not the write request
    // The device answered address resolution but not TFTP, and Windows
    // Firewall's settings in every profile in force (profiles) say:
    FirewallRuleBlocks,       // the rule firewallRule blocks this program
    FirewallBlocksAll,        // every inbound connection blocked, allowed programs' too
    FirewallBlocksByDefault,  // on, inbound blocked by default, no rule allowing this program
    FirewallOff,              // not the cause: off
    FirewallAllows,           // not the cause: the rule firewallRule allows this program
    FirewallOpen,             // not the cause: on, inbound allowed by default, no rule blocking
};

// An adapter as Windows shows it: its name and one IPv4 address with its prefix.
struct AdapterShown {
    std::string name;  // UTF-8
    std::uint32_t address = 0;
    int prefixLength = 0;
};

struct NetworkDiagnosis {
    NetworkCause cause = NetworkCause::None;
    std::uint32_t address = 0;  // the device's, host byte order
    std::vector<AdapterShown> adapters;
    std::uint32_t gateway = 0;          // ViaGateway
    std::string firewallRule;           // the rule's name as Windows shows it, UTF-8
    std::uint8_t firewallProfiles = 0;  // bit 1 << n for profile n: domain, private, public
};

struct UpdateOutcome {
    UpdateMessage message = UpdateMessage::Interrupted;
    UpdatePhase phase = UpdatePhase::Idle;

    // M1: why the image was refused, and the file's size when that is why.
    ImageRefusal imageRefusal = ImageRefusal::None;
    std::int64_t fileSize = 0;

    // M2: the step that failed, and the socket layer's error number for it.
    EndpointFailure endpointFailure = EndpointFailure::None;
    int socketError = 0;

    // M1: where the program looked for the file, as a person would type the
    // path (UTF-8); empty when no path was made.
    std::string firmwarePath;

    // M3 to M5: the last reply, and what the probe made of it.
    DeviceReply reply;
    DeviceKind reportedKind = DeviceKind::None;  // the kind a DATA block 1 named
    int emptyAnswers = 0;                        // empty answers to the probe before the end
    int sendError = 0;  // the socket layer's error for the last send it refused; 0 when it went
    // M4, M5: the device answered the kind check before the write request.
    bool probeAnswered = false;
    // Why nothing answered, when that is how it ended: filled by the shell
    // after the fact, from what the PC's network looked like.
    NetworkDiagnosis network;

    // M5, M6, M7: the last block sent, of how many the image takes; the
    // seconds of flash writing counted (M7), the tenths of a second the
    // transfer took from the write request to the last acknowledgement (M6).
    int block = 0;
    int blocks = 0;
    int second = 0;
    std::int64_t transferTenths = 0;

    // The loaded image's length; 0 when none was loaded.
    std::int32_t imageLength = 0;
};
