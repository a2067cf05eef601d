#pragma once

// Every text the program shows in a message box or its status line, in one
// place, as UTF-8. The Win32 shell turns them into UTF-16 for the W API, so
// they read right whatever the display language of Windows.

// The caption of both dialogs and of every message box.
extern const char kWindowCaption[];

// The address dialog's refusal of an ill-formed address (exclamation icon).
extern const char kAddressFormatMessage[];

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
