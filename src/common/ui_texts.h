#pragma once

// Every text the program shows in a message box or its status line, in one
// place, as UTF-8. The Win32 shell turns them into UTF-16 for the W API, so
// they read right whatever the display language of Windows.

// The caption of both dialogs and of every message box.
extern const char kWindowCaption[];

// The address dialog's refusal of an ill-formed address (exclamation icon).
extern const char kAddressFormatMessage[];

// 開始 refused because another EthBoxVup is updating the same address
// (exclamation icon); the address dialog stays for another try.
extern const char kBoxBusyMessage[];

enum class MessageIcon { None, Exclamation, Stop };

// The messages that end an update, one per outcome.
enum class UpdateMessage {
    FirmwareUnreadable,  // M1: the firmware file cannot be read
    SocketsFailed,       // M2: the sockets layer or the socket could not be set up
    NoConnection,        // M3: the device did not answer the probe as expected
    UpdateFailed,        // M4: the write request was not acknowledged
    TransferFailed,      // M5: a data block was not acknowledged
    Completed,           // M6: the device has the new firmware
    Interrupted,         // M7: the user cancelled
};

// The status line of the progress window.
enum class StatusText {
    Connecting,    // S1
    Transferring,  // S2
    Updating,      // S3
};

const char* MessageText(UpdateMessage message);
MessageIcon MessageIconOf(UpdateMessage message);
const char* StatusTextOf(StatusText status);

// What the record says was observed, one short text each; %1, %2 and %3 are
// filled in by the one who composes the detail.
enum class DetailText {
    NameRefused,      // M1
    FileNotFound,     // M1
    FileTooSmall,     // M1: %1 bytes
    FileTooLarge,     // M1: %1 bytes
    FileReadError,    // M1
    SocketCall,       // M2: %1 the call, %2 its error number
    AddressTooLong,   // M2
    AtProbe,          // where: the read of "/info.sys"
    AtWriteRequest,   // where: the write request
    AtBlock,          // where: block %1 of %2
    NoAnswer,         // what: nothing within the time
    PortRefused,      // what: the port was refused
    EmptyAnswer,      // what
    ReceiveError,     // what
    ErrorPacket,      // what: %1 the code, %2 the device's text
    OtherPacket,      // what: %1 the opcode, %2 the number
    OtherKind,        // what: the first byte %1 names kind %2
    NoKindByte,       // what: the first byte, %1 in hex, names no kind
    EmptyAnswers,     // what: %1 empty answers in a row
    AfterEmpty,       // what follows: after %1 empty answers
    CancelledProbe,   // M7
    CancelledBlock,   // M7: at block %1 of %2
    CancelledSecond,  // M7: at second %1 of the flash writing
    Transferred,      // M6: %1 blocks in %2 seconds
    NoUpdate,         // a tick with no update running
    FirmwarePath,     // M1, follows: %1 the path where the program looked
    // Why nothing answered (M3 to M5), following what was observed; %1 the address.
    SendRefused,          // %1 the socket layer's error number, one that says there is no route
    SendFailed,           // %1 the socket layer's error number, any other
    OwnAddress,           //
    OtherNetwork,         // %2 the connected adapters
    NoConnectedAdapter,   //
    AdapterDisconnected,  // %2 the adapter
    NoDevice,             //
    DeviceSilent,         //
    AdapterLost,          // %2 the adapter
    DeviceGone,           //
    AdapterAddress,       // one adapter: %1 its name, %2 its address and prefix
    // A box of a round that told its starter nothing (the record's and the summary's detail).
    EndedWithoutOutcome,  // %1 the exit status of its process
    BoxNotStarted,        // its process could not be started: %1 the system's error number
    NoProgressWindow,     // the progress window could not be opened
    TwoAdapters,          // %2 the adapters on its network, %3 the one Windows sends through
    ViaGateway,           // %2 the gateway's address, %3 the adapter
    WriteIgnored,         //
    // The device answered ARP, and Windows Firewall in the profiles %3 says:
    FirewallRuleBlocks,       // %2 the rule's name
    FirewallBlocksAll,        //
    FirewallBlocksByDefault,  //
    FirewallNotTheCause,      // %2 why: one of the three reasons below
    FirewallOffReason,        //
    FirewallAllowsReason,     // %1 the rule's name
    FirewallOpenReason,       //
    // A profile of Windows Firewall, as Windows names it.
    ProfileDomain,
    ProfilePrivate,
    ProfilePublic,
};
const char* DetailTextOf(DetailText text);

// The record's header row, its columns in order, joined by commas.
extern const char kRecordHeader[];

// A box of a round of several, in a word or two: in its summary line and, in
// place of a message box, in its own window's status line.
enum class BoxWord {
    Running,
    Completed,
    FirmwareUnreadable,
    SocketsFailed,
    NoConnection,
    UpdateFailed,
    TransferFailed,
    Interrupted,
    InterruptedWhileFlashing,
    NotStarted,  // -1: refused (another EthBoxVup updates it) or never started
    NoOutcome,   // its process ended without telling its outcome
};
const char* BoxWordText(BoxWord word);

// The summary of a round: its caption, its columns, and the line above the
// list (%1 the boxes, %2 how many have ended or did not complete, %3 where
// the list to retry was written).
extern const char kSummaryCaption[];
extern const char kSummaryColumnAddress[];
extern const char kSummaryColumnOutcome[];
extern const char kSummaryColumnCause[];
extern const char kSummaryRunning[];
extern const char kSummaryAllCompleted[];
extern const char kSummaryRetryWritten[];
extern const char kSummaryRetryWrittenElsewhere[];  // not beside the program
extern const char kSummaryRetryNotWritten[];
extern const char kSummaryOldRetryListLeft[];  // added to any of the round's end

// The "#" line that heads the list to retry: %1 when, %2 the firmware file,
// %3 how many boxes it names, %4 of how many; and the command that retries them.
extern const char kRetryListHeading[];
extern const char kRetryListCommand[];
