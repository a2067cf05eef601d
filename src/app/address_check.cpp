#include "app/address_check.h"

#include <cstdint>
#include <cstring>

#include "common/typed_address.h"
#include "transfer/decimal_address.h"

namespace {

char strippedText[kStripBufferSize];

}  // namespace

const char* StripSpaces(const char* text, std::size_t limit) {
    if (limit > kStripBufferSize) {
        limit = kStripBufferSize;
    }
    std::size_t kept = 0;
    // Positions 0 to limit - 2: the last place of a `limit`-byte field is its
    // terminator. So the result, at most 639 characters, always fits.
    for (std::size_t position = 0; text != nullptr && position + 1 < limit; ++position) {
        const char c = text[position];
        if (c == '\0') {
            break;
        }
        if (c != ' ') {
            strippedText[kept++] = c;
        }
    }
    strippedText[kept] = '\0';
    return strippedText;
}

bool IsDottedAddress(const char* text) {
    // The endpoint reads the address before each send with this very rule, so
    // whatever passes here is exactly what it can send to: one definition of
    // the form, and no address that is read as octal or cut short.
    std::uint32_t address = 0;
    return ParseDecimalAddress(text, &address);
}

bool TakeTypedAddress(const char* fieldText) {
    std::memset(typedAddress, 0, sizeof typedAddress);
    const char* stripped = StripSpaces(fieldText, kTypedAddressSize);
    // Reading no more than kTypedAddressSize - 1 characters, StripSpaces cannot
    // return more than typedAddress holds; the bound keeps it so.
    std::strncat(typedAddress, stripped, kTypedAddressSize - 1);
    return IsDottedAddress(typedAddress);
}
