#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/record_file.h"

namespace {

// Writes all of `text` with one call, or takes back whatever part of it got
// written.
bool WriteWhole(int fd, const std::string& text) {
    struct stat before {};
    if (fstat(fd, &before) != 0) {
        return false;
    }
    const ssize_t written = write(fd, text.data(), text.size());
    if (written == static_cast<ssize_t>(text.size())) {
        return true;
    }
    if (written > 0) {
        static_cast<void>(ftruncate(fd, before.st_size));
    }
    return false;
}

}  // namespace

bool AppendRecordLine(const NativePath& path, const NativePath& rotatedPath,
                      const std::string& header, const std::string& line) {
    struct stat existing {};
    if (stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) &&
        existing.st_size > kRecordRotationBytes) {
        if (std::rename(path.c_str(), rotatedPath.c_str()) != 0) {
            return false;
        }
    }
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) {
        return false;
    }
    struct stat status {};
    bool written = false;
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        const std::string text = status.st_size == 0 ? kUtf8ByteOrderMark + header + line : line;
        written = WriteWhole(fd, text);
    }
    const bool closed = close(fd) == 0;
    return written && closed;
}
