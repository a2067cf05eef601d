#include "app/address_list.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "app/address_check.h"
#include "common/typed_address.h"
#include "platform/ansi_text.h"
#include "platform/executable_path.h"
#include "platform/file_access.h"
#include "transfer/decimal_address.h"
#include "transfer/firmware_image.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string Trimmed(const std::string& line) {
    std::size_t begin = 0;
    std::size_t end = line.size();
    while (begin < end && IsBlank(line[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(line[end - 1])) {
        --end;
    }
    return line.substr(begin, end - begin);
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + 1;
    }
}

// The lines of a file that name addresses: a UTF-8 byte-order mark (a file
// saved by Notepad) is left out, then blank and "#" lines.
std::vector<std::string> AddressLines(std::string contents) {
    if (contents.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        contents.erase(0, 3);
    }
    std::vector<std::string> lines;
    for (const std::string& line : Split(contents, '\n')) {
        const std::string text = Trimmed(line);
        if (!text.empty() && text[0] != '#') {
            lines.push_back(text);
        }
    }
    return lines;
}

// "@NAME" or "@\"NAME\"": the name, as the firmware name's rule reads a
// quoted one (to the closing quote, or the end).
std::string FileNameOf(const std::string& option) {
    std::string name = option.substr(1);
    if (!name.empty() && name[0] == '"') {
        name = name.substr(1, name.find('"', 1) - 1);
    }
    return name;
}

}  // namespace

bool IsAddressList(const std::string& option) {
    return (!option.empty() && option[0] == '@') || option.find(',') != std::string::npos;
}

bool ReadAddressList(const std::string& option, const AddressFileReader& readFile,
                     std::vector<std::string>& addresses) {
    addresses.clear();
    std::vector<std::string> given;
    if (!option.empty() && option[0] == '@') {
        std::string contents;
        if (!readFile(FileNameOf(option), contents)) {
            return false;
        }
        given = AddressLines(contents);
    } else {
        given = Split(option, ',');
    }
    if (given.empty() || given.size() > kMaxBoxes) {
        return false;
    }
    std::vector<std::uint32_t> seen;
    for (const std::string& text : given) {
        // Read as the address field is, less its blanks; a text longer than
        // the field reads would have a part left unread, so it is refused.
        const std::string address = StripSpaces(text.c_str(), kTypedAddressSize);
        std::uint32_t value = 0;
        const bool controlByte = std::any_of(text.begin(), text.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20;  // a NUL would end the text early
        });
        if (controlByte || text.size() >= kTypedAddressSize ||
            !ParseDecimalAddress(address.c_str(), &value) ||
            std::find(seen.begin(), seen.end(), value) != seen.end()) {
            addresses.clear();
            return false;
        }
        seen.push_back(value);
        addresses.push_back(address);
    }
    return true;
}

bool ReadAddressFileBesideProgram(const std::string& name, std::string& contents) {
    contents.clear();
    NativePath programPath;
    NativePath fileName;
    if (name.empty() || std::strpbrk(name.c_str(), "?*") != nullptr ||
        !AnsiTextToPath(name.c_str(), fileName) || !GetExecutablePath(programPath)) {
        return false;
    }
    return ReadSmallFile(BuildFirmwarePath(programPath, fileName).c_str(), kMaxAddressFileBytes,
                         contents);
}
