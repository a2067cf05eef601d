#pragma once

#include <optional>
#include <string>

// A command line as text of the ANSI code page `codePage`, the bytes its
// options are read in. It is made from the UTF-16 line the process was
// started with, never taken from GetCommandLineA: Windows makes that one with
// best fit, which turns a character the code page lacks into a look-alike it
// has (a full-width "ｆｗ.bin" into "fw.bin" on a Western Windows, "¥" into
// the path separator on a Japanese one), so that the line would name another
// file or spell an option that was never typed. Here such a character becomes
// "?", which is in no option and, on Windows, in no file's name.
// Where the code page is UTF-8, which holds every character, there is no
// stand-in: a line that is no text at all (half of a surrogate pair) is
// refused, as it would otherwise become U+FFFD and name another file.
// Nothing when the line cannot be converted.
std::optional<std::string> AnsiCommandLine(const wchar_t* line, unsigned codePage);
