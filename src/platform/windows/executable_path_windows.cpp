#include "platform/executable_path.h"

#include <windows.h>

bool GetExecutablePath(char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) {
        return false;
    }
    const DWORD capacity = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
    // A path that does not fit comes back cut short, filling the whole buffer
    // (and on older systems without its terminator).
    const DWORD length = GetModuleFileNameA(nullptr, buffer, capacity);
    if (length == 0 || length >= capacity) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}
