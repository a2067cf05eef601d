#include "app/typed_address.h"

#include <cstring>

#include "app/address_check.h"

char typedAddress[kTypedAddressSize] = {};

bool TakeTypedAddress(const char* fieldText) {
    std::memset(typedAddress, 0, sizeof typedAddress);
    const char* stripped = StripSpaces(fieldText, kTypedAddressSize);
    // Reading no more than kTypedAddressSize - 1 characters, StripSpaces cannot
    // return more than typedAddress holds; the bound keeps it so.
    std::strncat(typedAddress, stripped, kTypedAddressSize - 1);
    return IsDottedAddress(typedAddress);
}
