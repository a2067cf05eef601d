#include "platform/ansi_text.h"

#include <cstdint>

// Code page 932 as Windows has it. Windows lower-cases ANSI text by way of
// Unicode, so beside ASCII it also lower-cases the double-byte letters that
// have a small form in the code page; these ranges are exactly those letters.

namespace {

struct DoubleByteCase {
    std::uint16_t firstCapital;
    std::uint16_t lastCapital;
    std::uint16_t firstSmall;
};

constexpr DoubleByteCase kDoubleByteCases[] = {
    {0x8260, 0x8279, 0x8281},  // full-width Latin A-Z
    {0x839F, 0x83B6, 0x83BF},  // Greek
    {0x8440, 0x844E, 0x8470},  // Cyrillic, up to the gap at trail byte 0x7F
    {0x844F, 0x8460, 0x8480},  // Cyrillic, after the gap
    {0x8754, 0x875D, 0xFA40},  // Roman numerals I-X (NEC row 13)
    {0xFA4A, 0xFA53, 0xFA40},  // Roman numerals I-X (IBM extension)
};

void LowerCaseDoubleByte(unsigned char* character) {
    const auto code = static_cast<std::uint16_t>(character[0] << 8 | character[1]);
    for (const DoubleByteCase& range : kDoubleByteCases) {
        if (code >= range.firstCapital && code <= range.lastCapital) {
            const auto small =
                static_cast<std::uint16_t>(range.firstSmall + (code - range.firstCapital));
            character[0] = static_cast<unsigned char>(small >> 8);
            character[1] = static_cast<unsigned char>(small & 0xFF);
            return;
        }
    }
}

}  // namespace

bool IsAnsiLeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

void LowerCaseAnsiText(char* text) {
    auto* byte = reinterpret_cast<unsigned char*>(text);
    while (*byte != 0) {
        if (IsAnsiLeadByte(*byte) && byte[1] != 0) {
            LowerCaseDoubleByte(byte);
            byte += 2;
            continue;
        }
        if (*byte >= 'A' && *byte <= 'Z') {
            *byte = static_cast<unsigned char>(*byte - 'A' + 'a');
        }
        ++byte;
    }
}

bool AnsiTextToPath(const char* text, NativePath& path) {
    // Paths are bytes here: the name keeps the code page's bytes, and only a
    // lead byte cut off from its second byte is refused, as Windows does.
    path = text;
    std::size_t position = 0;
    while (position < path.size()) {
        if (IsAnsiLeadByte(static_cast<unsigned char>(path[position]))) {
            if (position + 1 == path.size()) {
                path.clear();
                return false;
            }
            position += 2;
            continue;
        }
        ++position;
    }
    return true;
}
