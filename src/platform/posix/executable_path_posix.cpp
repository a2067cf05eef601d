#include "platform/executable_path.h"

#include <sys/types.h>
#include <unistd.h>

namespace {

constexpr std::size_t kFirstCapacity = 256;
constexpr std::size_t kLongestPath = 1 << 16;

}  // namespace

bool GetExecutablePath(NativePath& path) {
    for (std::size_t capacity = kFirstCapacity; capacity <= kLongestPath; capacity *= 2) {
        path.assign(capacity, '\0');
        // readlink neither terminates the path nor says whether it was cut
        // short; a result that fills the whole buffer may have been.
        const ssize_t length = readlink("/proc/self/exe", path.data(), capacity);
        if (length <= 0) {
            break;
        }
        if (static_cast<std::size_t>(length) < capacity) {
            path.resize(static_cast<std::size_t>(length));
            return true;
        }
    }
    path.clear();
    return false;
}
