#include "transfer/decimal_address.h"

#include <cstddef>

#include "transfer/tftp_endpoint.h"

namespace {

// Characters before the terminator, looking at no more than `limit` bytes.
std::size_t BoundedLength(const char* text, std::size_t limit) {
    std::size_t length = 0;
    while (length < limit && text[length] != '\0') {
        ++length;
    }
    return length;
}

bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

bool ParseDecimalAddress(const char* text, std::uint32_t* address) {
    if (text == nullptr || BoundedLength(text, kTargetAddressSize) >= kTargetAddressSize) {
        return false;
    }
    std::uint32_t parsed = 0;
    const char* cursor = text;
    for (int group = 0; group < 4; ++group) {
        if (group > 0 && *cursor++ != '.') {
            return false;
        }
        if (!IsAsciiDigit(*cursor)) {
            return false;
        }
        unsigned value = 0;
        while (IsAsciiDigit(*cursor)) {
            value = value * 10 + static_cast<unsigned>(*cursor++ - '0');
            if (value > 255) {
                return false;
            }
        }
        parsed = (parsed << 8) | value;
    }
    if (*cursor != '\0') {
        return false;
    }
    *address = parsed;
    return true;
}
