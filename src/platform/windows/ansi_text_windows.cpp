#include "platform/ansi_text.h"

#include <windows.h>

void LowerCaseAnsiText(char* text) {
    CharLowerA(text);
}

bool IsAnsiLeadByte(unsigned char byte) {
    return IsDBCSLeadByte(byte) != FALSE;
}

bool AnsiTextToPath(const char* text, NativePath& path) {
    path.clear();
    if (*text == '\0') {
        return true;
    }
    // Strict, so that a byte the code page has no character for is refused
    // rather than turned into one that may name another file.
    const int length = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (length <= 0) {
        return false;
    }
    path.assign(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, path.data(), length) !=
        length) {
        path.clear();
        return false;
    }
    path.resize(static_cast<std::size_t>(length) - 1);  // without the terminator
    return true;
}
