#include "app/command_line.h"

#include <cstring>

#include "app/address_check.h"
#include "platform/ansi_text.h"

namespace {

constexpr std::size_t kMaxFirmwareNameLength = kFirmwareNameSize - 1;

bool EndsUnquotedName(unsigned char byte) {
    return byte <= 0x20;
}

// Copies the firmware name that starts at `text` into `name`. A double-byte
// character is copied whole, and its trail byte never ends the name, whatever
// its value. False when the name is longer than the field: a name cut short
// could open a different file, so it is refused instead.
bool CopyFirmwareName(const char* text, char (&name)[kFirmwareNameSize]) {
    const bool quoted = *text == '"';
    if (quoted) {
        ++text;
    }
    std::size_t length = 0;
    while (*text != '\0') {
        const unsigned char byte = static_cast<unsigned char>(*text);
        const bool doubleByte = IsAnsiLeadByte(byte) && text[1] != '\0';
        if (!doubleByte && (quoted ? byte == '"' : EndsUnquotedName(byte))) {
            break;
        }
        const std::size_t width = doubleByte ? 2 : 1;
        if (length + width > kMaxFirmwareNameLength) {
            name[0] = '\0';
            return false;
        }
        std::memcpy(name + length, text, width);
        length += width;
        text += width;
    }
    name[length] = '\0';
    return true;
}

// The text after "/ip:" up to the next blank or control byte. Cut short at
// what the address dialog reads, which can only make a longer text fail its
// check: a blank-free text of that length is longer than any address.
void CopyAddressText(const char* text, char (&address)[kAddressOptionSize]) {
    std::size_t length = 0;
    while (length + 1 < kAddressOptionSize &&
           !EndsUnquotedName(static_cast<unsigned char>(*text))) {
        address[length++] = *text++;
    }
    address[length] = '\0';
}

}  // namespace

const char* SkipProgramName(const char* fullCommandLine) {
    const char* text = fullCommandLine;
    if (*text == '"') {
        ++text;
        while (*text != '\0' && *text != '"') {
            const bool doubleByte =
                IsAnsiLeadByte(static_cast<unsigned char>(*text)) && text[1] != '\0';
            text += doubleByte ? 2 : 1;
        }
        if (*text == '"') {
            ++text;
        }
    } else {
        while (static_cast<unsigned char>(*text) > 0x20) {
            ++text;
        }
    }
    while (*text != '\0' && static_cast<unsigned char>(*text) <= 0x20) {
        ++text;
    }
    return text;
}

bool ParseCommandLine(char* commandLine, LaunchOptions& options) {
    options = LaunchOptions{};
    LowerCaseAnsiText(commandLine);

    // Options are found anywhere in the line, even inside other words or the
    // firmware name itself; the first occurrence counts.
    bool nameFound = false;
    bool nameFits = true;
    if (const char* option = std::strstr(commandLine, "/fm1:")) {
        nameFound = true;
        nameFits = CopyFirmwareName(option + std::strlen("/fm1:"), options.firmwareName);
    }

    if (std::strstr(commandLine, "/type_ap") != nullptr) {
        options.deviceKind = DeviceKind::Ap;
    } else if (std::strstr(commandLine, "/type_e2") != nullptr) {
        options.deviceKind = DeviceKind::E2;
    }

    if (std::strstr(commandLine, "/chkoff") != nullptr) {
        options.probeEnabled = false;
    }

    if (const char* option = std::strstr(commandLine, "/ip:")) {
        options.addressGiven = true;
        CopyAddressText(option + std::strlen("/ip:"), options.addressText);
    }
    options.quiet = std::strstr(commandLine, "/quiet") != nullptr;

    return nameFound && nameFits && options.deviceKind != DeviceKind::None;
}

StartupVerdict ReadCommandLine(char* commandLine, LaunchOptions& options) {
    if (!ParseCommandLine(commandLine, options)) {
        return StartupVerdict::Incomplete;
    }
    if (!options.addressGiven) {
        return StartupVerdict::Attended;
    }
    return TakeTypedAddress(options.addressText) ? StartupVerdict::Unattended
                                                 : StartupVerdict::AddressRefused;
}
