#pragma once

#include "platform/native_path.h"

// Text of the ANSI code page (932 on Japanese Windows). On Windows these are the
// system's own functions; elsewhere an implementation of code page 932.

// Lower-cases whole characters in place, so the trail byte of a double-byte
// character is never taken for a capital letter.
void LowerCaseAnsiText(char* text);

// True for a byte that starts a double-byte character.
bool IsAnsiLeadByte(unsigned char byte);

// Text of the ANSI code page, such as a name from the command line, as path
// text. False when it is not valid text of the code page (a lead byte without
// its second byte, say), which could otherwise name another file.
bool AnsiTextToPath(const char* text, NativePath& path);
