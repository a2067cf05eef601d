#pragma once

#include <cstddef>

constexpr std::size_t kTypedAddressSize = 70;  // 69 characters and the terminator

// The device address as the user typed it, blanks removed. Written by the
// address dialog when the start button is pressed (TakeTypedAddress); the
// endpoint copies it.
extern char typedAddress[kTypedAddressSize];
