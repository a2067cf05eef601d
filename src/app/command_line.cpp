#include "app/command_line.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

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

// The text after "/ip:": up to the next blank or control byte, or, for a
// file named in quotes (@"my boxes.txt"), up to the closing quote, double-byte
// characters stepped over whole as in the firmware name.
std::string AddressOptionText(const char* text) {
    const char* end = text;
    if (text[0] == '@' && text[1] == '"') {
        end += 2;
        while (*end != '\0' && *end != '"') {
            end += IsAnsiLeadByte(static_cast<unsigned char>(*end)) && end[1] != '\0' ? 2 : 1;
        }
        if (*end == '"') {
            ++end;
        }
    } else {
        while (!EndsUnquotedName(static_cast<unsigned char>(*end))) {
            ++end;
        }
    }
    return std::string(text, end);
}

// Up to three decimal digits at `text`, which moves past them; false for none.
bool ReadSmallNumber(const char*& text, unsigned& number) {
    number = 0;
    const char* const start = text;
    while (text - start < 3 && std::isdigit(static_cast<unsigned char>(*text))) {
        number = number * 10 + static_cast<unsigned>(*text - '0');
        ++text;
    }
    return text != start;
}

// "/box:I/N", which the run of several boxes gives each of its own processes:
// box I of N, 1 <= I <= N <= kMaxBoxes. Anything else leaves both 0.
void ReadBoxOption(const char* text, LaunchOptions& options) {
    unsigned number = 0;
    unsigned count = 0;
    if (!ReadSmallNumber(text, number) || *text != '/') {
        return;
    }
    ++text;
    if (ReadSmallNumber(text, count) && EndsUnquotedName(static_cast<unsigned char>(*text)) &&
        number >= 1 && number <= count && count <= kMaxBoxes) {
        options.boxNumber = static_cast<int>(number);
        options.boxCount = static_cast<int>(count);
    }
}

// "/report:H": H in decimal, a handle's value (which fits 32 bits, so that
// 32-bit and 64-bit processes can share handles); anything else leaves 0.
void ReadReportOption(const char* text, LaunchOptions& options) {
    std::uint64_t value = 0;
    const char* const start = text;
    while (text - start < 10 && std::isdigit(static_cast<unsigned char>(*text))) {
        value = value * 10 + static_cast<unsigned>(*text - '0');
        ++text;
    }
    if (text != start && value <= 0xFFFFFFFFu &&
        EndsUnquotedName(static_cast<unsigned char>(*text))) {
        options.boxReport = static_cast<std::uint32_t>(value);
    }
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
        options.addressText = AddressOptionText(option + std::strlen("/ip:"));
    }
    if (const char* option = std::strstr(commandLine, "/box:")) {
        ReadBoxOption(option + std::strlen("/box:"), options);
    }
    if (const char* option = std::strstr(commandLine, "/report:")) {
        ReadReportOption(option + std::strlen("/report:"), options);
    }
    options.quiet = std::strstr(commandLine, "/quiet") != nullptr;

    return nameFound && nameFits && options.deviceKind != DeviceKind::None;
}

StartupVerdict ReadCommandLine(char* commandLine, LaunchOptions& options,
                               const AddressFileReader& readFile) {
    if (!ParseCommandLine(commandLine, options)) {
        return StartupVerdict::Incomplete;
    }
    if (!options.addressGiven || IsAddressList(options.addressText)) {
        // Only a process updating one box of several is told which it is.
        options.boxNumber = 0;
        options.boxCount = 0;
    }
    if (options.boxCount == 0) {
        options.boxReport = 0;  // and only such a process has a starter to tell
    }
    if (!options.addressGiven) {
        return StartupVerdict::Attended;
    }
    std::string single = options.addressText;
    if (IsAddressList(options.addressText)) {
        if (!ReadAddressList(options.addressText, readFile, options.boxAddresses)) {
            return StartupVerdict::AddressRefused;
        }
        if (options.boxAddresses.size() > 1) {
            return StartupVerdict::UnattendedList;
        }
        // A list of one is that one address, updated here as ever.
        single = options.boxAddresses.front();
        options.boxAddresses.clear();
    }
    if (!TakeTypedAddress(single.c_str())) {
        return StartupVerdict::AddressRefused;
    }
    return StartupVerdict::Unattended;
}
