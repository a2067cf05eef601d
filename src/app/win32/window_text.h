#pragma once

#include <string>
#include <string_view>

#include "platform/windows/utf8_from_wide.h"

// Conversions between UTF-8, in which portable code and our test tools hold
// text, and the UTF-16 that the W functions of the Win32 API take. Invalid
// input turns into U+FFFD rather than failing.
std::wstring WideFromUtf8(std::string_view text);
