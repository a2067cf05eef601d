#include "platform/executable_path.h"

#include <sys/types.h>
#include <unistd.h>

bool GetExecutablePath(char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) {
        return false;
    }
    // readlink neither terminates the path nor says whether it was cut short;
    // a result that fills the whole buffer may have been.
    const ssize_t length = readlink("/proc/self/exe", buffer, size);
    if (length <= 0 || static_cast<std::size_t>(length) >= size) {
        buffer[0] = '\0';
        return false;
    }
    buffer[length] = '\0';
    return true;
}
