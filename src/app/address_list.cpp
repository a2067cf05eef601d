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

// The text of an address file as one byte a character: a UTF-16 file (with
// the byte-order mark of Notepad's "Unicode", FF FE, or of its big-endian
// form, FE FF) as ASCII, any other character as "?", which no address holds,
// so that a line with one is refused as the address field refuses it; a
// UTF-8 byte-order mark (Notepad's UTF-8) left out; and a last Ctrl-Z, the
// end-of-file mark that "copy /a" and old editors write, dropped. False for
// UTF-16 cut short (an odd number of bytes).
bool AddressFileText(const std::string& contents, std::string& text) {
    text.clear();
    const bool littleEndian = contents.compare(0, 2, "\xFF\xFE") == 0;
    if (littleEndian || contents.compare(0, 2, "\xFE\xFF") == 0) {
        if (contents.size() % 2 != 0) {
            return false;
        }
        for (std::size_t at = 2; at < contents.size(); at += 2) {
            const auto first = static_cast<unsigned char>(contents[at]);
            const auto second = static_cast<unsigned char>(contents[at + 1]);
            const unsigned unit = littleEndian ? first | second << 8 : first << 8 | second;
            text += unit < 0x80 ? static_cast<char>(unit) : '?';
        }
    } else {
        text = contents.compare(0, 3, "\xEF\xBB\xBF") == 0 ? contents.substr(3) : contents;
    }
    if (!text.empty() && text.back() == '\x1A') {
        text.pop_back();
    }
    return true;
}

// The lines of a file's text that name addresses: blank and "#" lines are
// left out.
std::vector<std::string> AddressLines(const std::string& text) {
    std::vector<std::string> lines;
    for (const std::string& line : Split(text, '\n')) {
        const std::string trimmed = Trimmed(line);
        if (!trimmed.empty() && trimmed[0] != '#') {
            lines.push_back(trimmed);
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
        std::string text;
        if (!readFile(FileNameOf(option), contents) || !AddressFileText(contents, text)) {
            return false;
        }
        given = AddressLines(text);
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
