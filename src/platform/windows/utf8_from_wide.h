#pragma once

#include <string>

// UTF-16 text that Windows handed over, as UTF-8 for the portable code.
std::string Utf8FromWide(const std::wstring& text);
