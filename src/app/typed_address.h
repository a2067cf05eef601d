#pragma once

#include <cstddef>

constexpr std::size_t kTypedAddressSize = 70;  // 69 characters and the terminator

// The device address as the user typed it, blanks removed. Written by the
// address dialog when the start button is pressed; the endpoint copies it.
extern char typedAddress[kTypedAddressSize];

// The start button's reading of the address field: clears typedAddress, fills
// it with the first 69 characters of `fieldText` less their blanks, and tells
// whether that is an address the update may be started with. typedAddress
// keeps the text even when it is refused.
bool TakeTypedAddress(const char* fieldText);
