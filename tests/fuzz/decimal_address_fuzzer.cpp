// Any text in the address field, as the endpoint reads it before each send.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "transfer/decimal_address.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The rule read the plain way: split at the dots, then judge each piece.
bool ReferenceParse(const std::string& text, std::uint32_t* address) {
    if (text.size() > 63) {
        return false;
    }
    std::uint32_t value = 0;
    std::size_t start = 0;
    for (int group = 0; group < 4; ++group) {
        const std::size_t dot = text.find('.', start);
        const bool last = group == 3;
        if (last != (dot == std::string::npos)) {
            return false;
        }
        std::string piece = text.substr(start, last ? std::string::npos : dot - start);
        if (piece.empty() || piece.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        piece.erase(0, piece.find_first_not_of('0'));  // leading zeros are decimal
        if (piece.size() > 3 || (piece.empty() ? 0 : std::stoul(piece)) > 255) {
            return false;
        }
        value = (value << 8) | static_cast<std::uint32_t>(piece.empty() ? 0 : std::stoul(piece));
        start = dot + 1;
    }
    *address = value;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A terminated copy of exactly the input's size, so over-reads are caught.
    std::unique_ptr<char[]> text(new char[size + 1]);
    std::memcpy(text.get(), data, size);
    text[size] = '\0';

    std::uint32_t parsed = 0xDEADBEEF;
    const bool accepted = ParseDecimalAddress(text.get(), &parsed);
    std::uint32_t expected = 0xDEADBEEF;
    const bool valid = ReferenceParse(std::string(text.get()), &expected);
    Require(accepted == valid);
    Require(parsed == expected);
    return 0;
}
