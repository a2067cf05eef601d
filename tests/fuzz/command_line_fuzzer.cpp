// Any command line the program can be started with: whoever makes the shortcut
// or types the command writes it, and the parse runs before any window exists.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "platform/ansi_text.h"
#include "transfer/decimal_address.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool Contains(const std::string& line, const char* option) {
    return line.find(option) != std::string::npos;
}

// A terminated copy exactly as long as the text, so reading past it is caught.
std::unique_ptr<char[]> TerminatedCopy(const std::string& text) {
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    return copy;
}

struct Parsed {
    bool accepted = false;
    std::string line;  // as the parse left it: lower-cased in place
    LaunchOptions options;
};

Parsed Parse(const std::string& text) {
    std::unique_ptr<char[]> line = TerminatedCopy(text);
    // On the heap and exactly its size, so a write past the whole record is
    // caught by the sanitizer; one past the name into the fields behind it is
    // caught by the checks below.
    std::unique_ptr<LaunchOptions> options(new LaunchOptions);
    Parsed parsed;
    parsed.accepted = ParseCommandLine(line.get(), *options);
    parsed.line = line.get();
    parsed.options = *options;
    return parsed;
}

bool SameOptions(const LaunchOptions& a, const LaunchOptions& b) {
    return std::strcmp(a.firmwareName, b.firmwareName) == 0 && a.deviceKind == b.deviceKind &&
           a.probeEnabled == b.probeEnabled;
}

// True when no single-byte character of the line is a capital letter; the
// trail byte of a double-byte character may be any byte.
bool LowerCased(const std::string& line) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        const auto byte = static_cast<unsigned char>(line[i]);
        if (IsAnsiLeadByte(byte) && i + 1 < line.size()) {
            ++i;
        } else if (byte >= 'A' && byte <= 'Z') {
            return false;
        }
    }
    return true;
}

// The same line with every single-byte small letter made a capital. Lead
// bytes lie above 0x80, so the characters stay where they were.
std::string AsciiCapitals(const std::string& line) {
    std::string capitals = line;
    for (std::size_t i = 0; i < capitals.size(); ++i) {
        const auto byte = static_cast<unsigned char>(capitals[i]);
        if (IsAnsiLeadByte(byte) && i + 1 < capitals.size()) {
            ++i;
        } else if (byte >= 'a' && byte <= 'z') {
            capitals[i] = static_cast<char>(byte - 'a' + 'A');
        }
    }
    return capitals;
}

// True when the name is cut where the rules do not cut it: at a character
// that ends a name of that form inside it (the byte after a lead byte is never
// one), or between a lead byte and the byte after it.
bool EndsWrongly(const char* name, std::size_t length, bool quoted, unsigned char next) {
    for (std::size_t i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (IsAnsiLeadByte(byte)) {
            if (i + 1 == length && next != '\0') {
                return true;
            }
            ++i;
        } else if (quoted ? byte == '"' : byte <= 0x20) {
            return true;
        }
    }
    return false;
}

void CheckFirmwareName(const Parsed& parsed) {
    const char* name = parsed.options.firmwareName;
    const std::size_t length = strnlen(name, kFirmwareNameSize);
    Require(length < kFirmwareNameSize);

    const std::size_t option = parsed.line.find("/fm1:");
    if (option == std::string::npos) {
        Require(length == 0);
        return;
    }
    std::size_t start = option + std::strlen("/fm1:");
    const bool quoted = start < parsed.line.size() && parsed.line[start] == '"';
    if (quoted) {
        ++start;
    }
    const std::size_t available = parsed.line.size() - start;

    // The name is the text right after the option, never anything else.
    Require(parsed.line.compare(start, length, name) == 0);
    if (parsed.accepted) {
        // It ends where the line, the closing quote or a blank says so.
        const auto next = static_cast<unsigned char>(parsed.line.c_str()[start + length]);
        Require(next == '\0' || (quoted ? next == '"' : next <= 0x20));
        Require(!EndsWrongly(name, length, quoted, next));
    } else if (parsed.options.deviceKind != DeviceKind::None) {
        // Refused with both options present only for a name too long for
        // the field, and then none is kept.
        Require(length == 0 && available >= kFirmwareNameSize);
    }
}

void CheckOptions(const Parsed& parsed) {
    const std::string& line = parsed.line;
    Require(LowerCased(line));

    const DeviceKind expectedKind = Contains(line, "/type_ap")   ? DeviceKind::Ap
                                    : Contains(line, "/type_e2") ? DeviceKind::E2
                                                                 : DeviceKind::None;
    Require(parsed.options.deviceKind == expectedKind);
    Require(parsed.options.probeEnabled == !Contains(line, "/chkoff"));
    if (parsed.accepted) {
        Require(Contains(line, "/fm1:") && expectedKind != DeviceKind::None);
    }
    CheckFirmwareName(parsed);
}

// The program's name ends at its closing quote or the first blank, and the
// blanks after it are skipped: what is left starts with something else.
void CheckSkipProgramName(const std::string& text) {
    const std::unique_ptr<char[]> line = TerminatedCopy(text);
    const char* rest = SkipProgramName(line.get());
    const std::size_t length = std::strlen(line.get());
    Require(rest >= line.get() && rest <= line.get() + length);
    const auto first = static_cast<unsigned char>(*rest);
    Require(first == '\0' || first > 0x20);
}

// A list of boxes, or a file of them (the input as its contents), taken
// whole or not at all: every address one the dialog would accept, no device
// twice, one to kMaxBoxes of them.
void CheckAddressList(const std::string& text) {
    std::vector<std::string> addresses;
    const auto readFile = [&text](const std::string&, std::string& contents) {
        contents = text;
        return true;
    };
    for (const std::string& option : {text, "@" + std::string("boxes.txt")}) {
        if (!ReadAddressList(option, readFile, addresses)) {
            Require(addresses.empty());
            continue;
        }
        Require(!addresses.empty() && addresses.size() <= kMaxBoxes);
        std::set<std::uint32_t> devices;
        for (const std::string& address : addresses) {
            std::uint32_t device = 0;
            Require(ParseDecimalAddress(address.c_str(), &device));
            Require(devices.insert(device).second);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckSkipProgramName(text);
    CheckAddressList(text);

    const Parsed parsed = Parse(text);
    // The line keeps its length: lower-casing works character by character.
    Require(parsed.line.size() == std::strlen(text.c_str()));
    CheckOptions(parsed);

    // Letter case never matters, and a lower-cased line parses as itself.
    const Parsed again = Parse(parsed.line);
    Require(again.accepted == parsed.accepted && again.line == parsed.line);
    Require(SameOptions(again.options, parsed.options));
    const Parsed capitals = Parse(AsciiCapitals(text));
    Require(capitals.accepted == parsed.accepted && capitals.line == parsed.line);
    Require(SameOptions(capitals.options, parsed.options));
    return 0;
}
