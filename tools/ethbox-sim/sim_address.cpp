#include <cstdio>

#include "sim_socket.h"

namespace ethbox_sim {

bool ParseSimAddress(const std::string& text, std::uint32_t* address) {
    std::uint32_t value = 0;
    std::size_t position = 0;
    for (int group = 0; group < 4; ++group) {
        if (group > 0) {
            if (position >= text.size() || text[position] != '.') {
                return false;
            }
            ++position;
        }
        std::size_t digits = 0;
        unsigned part = 0;
        while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
            part = part * 10 + static_cast<unsigned>(text[position] - '0');
            ++position;
            if (++digits > 3 || part > 255) {
                return false;
            }
        }
        if (digits == 0) {
            return false;
        }
        value = (value << 8) | part;
    }
    if (position != text.size()) {
        return false;
    }
    *address = value;
    return true;
}

std::string FormatSimAddress(std::uint32_t address) {
    char text[16];  // "255.255.255.255" and the terminator: it always fits
    static_cast<void>(std::snprintf(
        text, sizeof text, "%u.%u.%u.%u", static_cast<unsigned>(address >> 24),
        static_cast<unsigned>((address >> 16) & 0xFF), static_cast<unsigned>((address >> 8) & 0xFF),
        static_cast<unsigned>(address & 0xFF)));
    return text;
}

}  // namespace ethbox_sim
