#pragma once

#include <cstdint>

// The one reading of a dotted IPv4 address: the address dialog checks the
// typed text with it, and the endpoint reads it again before each send, so
// that whatever the check lets through is exactly what can be sent to.

// Reads a dotted IPv4 address as four decimal groups of 1 or more ASCII digits,
// each at most 255; leading zeros are decimal, never octal. Host byte order.
// Text longer than the endpoint holds (63 characters) is refused as well.
bool ParseDecimalAddress(const char* text, std::uint32_t* address);
