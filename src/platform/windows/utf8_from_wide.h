#pragma once

#include <string>
#include <string_view>

// UTF-16 text that Windows handed over, as UTF-8 for the portable code.
// Invalid input turns into U+FFFD rather than failing.
std::string Utf8FromWide(std::wstring_view text);
