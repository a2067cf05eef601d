#pragma once

#include <string>

// The process's whole command line as text of the ANSI code page, the bytes
// its options are read in. It is made from the UTF-16 line the process was
// started with, never taken from GetCommandLineA: Windows makes that one with
// best fit, which turns a character the code page lacks into a look-alike it
// has (a full-width "ｆｗ.bin" into "fw.bin" on a Western Windows, "¥" into
// the path separator on a Japanese one), so that the line would name another
// file or spell an option that was never typed. Here such a character becomes
// "?", which is in no option and, on Windows, in no file's name. Empty when
// the line cannot be converted at all.
std::string AnsiCommandLine();
