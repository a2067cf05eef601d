#include "platform/executable_path.h"

#include <windows.h>

namespace {

// The longest path Windows has, in UTF-16 units with the terminator; MAX_PATH
// is only where the search for a large enough buffer begins.
constexpr DWORD kLongestPath = 32768;

}  // namespace

bool GetExecutablePath(NativePath& path) {
    for (DWORD capacity = MAX_PATH;; capacity *= 2) {
        path.assign(capacity, L'\0');
        // A path that does not fit comes back cut short, filling the whole
        // buffer (and on older systems without its terminator).
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), capacity);
        if (length > 0 && length < capacity) {
            path.resize(length);
            return true;
        }
        if (length == 0 || capacity >= kLongestPath) {
            path.clear();
            return false;
        }
    }
}
