#pragma once

#include <cstddef>

// The address the user types into the address dialog, made fit to send to.

constexpr std::size_t kStripBufferSize = 640;

// `text` without its blanks (only 0x20; tabs and double-byte blanks stay),
// looking at no more than limit - 1 characters (limit capped at 640). The
// result lives in a process-wide buffer, valid until the next call.
const char* StripSpaces(const char* text, std::size_t limit);

// True for four groups of 1 or more ASCII digits joined by three full stops,
// each group at most 255 read as decimal (leading zeros allowed), in at most
// 63 characters: exactly the addresses the endpoint can send to.
bool IsDottedAddress(const char* text);

// The start button's reading of the address field: clears typedAddress, fills
// it with the first 69 characters of `fieldText` less their blanks, and tells
// whether that is an address the update may be started with. typedAddress
// keeps the text even when it is refused.
bool TakeTypedAddress(const char* fieldText);
