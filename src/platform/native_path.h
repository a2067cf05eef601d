#pragma once

#include <string>

// A path as the platform's own file functions take it. On Windows that is
// UTF-16 for the wide API: a folder's name may hold characters that the ANSI
// code page cannot (Japanese on a Western Windows, "Größe" on a Japanese one),
// and through the ANSI API such a path comes back with "?" in their place.
// Elsewhere paths are bytes.
#ifdef _WIN32
using PathChar = wchar_t;
#else
using PathChar = char;
#endif
using NativePath = std::basic_string<PathChar>;
