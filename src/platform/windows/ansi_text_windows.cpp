#include "platform/ansi_text.h"

#include <windows.h>

void LowerCaseAnsiText(char* text) {
    CharLowerA(text);
}

bool IsAnsiLeadByte(unsigned char byte) {
    return IsDBCSLeadByte(byte) != FALSE;
}
