#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

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

// Up to kRecordRotationBytes of the file from its start, and its size.
bool ReadHead(int fd, std::string& contents, std::int64_t& size) {
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    size = status.st_size;
    contents.resize(static_cast<std::size_t>(size <= kRecordRotationBytes ? size : 3));
    return contents.empty() ||
           pread(fd, &contents[0], contents.size(), 0) == static_cast<ssize_t>(contents.size());
}

// Renames the file at `path` to the first free NAME.kept-N.csv: a link that
// fails where the name is taken, then the old name removed.
bool KeepAside(const NativePath& path) {
    for (int number = 1; number <= 999; ++number) {
        const std::string suffix = ".kept-" + std::to_string(number);
        if (link(path.c_str(), RecordSibling(path, suffix.c_str()).c_str()) == 0) {
            return unlink(path.c_str()) == 0;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}

int Open(const NativePath& path) {
    return open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
}

}  // namespace

RecordWrite AppendRecordLines(const NativePath& path, const std::string& header,
                              const std::string& lines, WhenFull whenFull) {
    // A file put aside is followed by a new one: two rounds at most.
    for (int round = 0; round < 2; ++round) {
        int fd = Open(path);
        if (fd < 0 && errno == ENOENT && mkdir(RecordFolder(path).c_str(), 0755) == 0) {
            fd = Open(path);
        }
        if (fd < 0) {
            return RecordWrite::Failed;
        }
        // Another program's exclusive lock stands for a Windows program that
        // holds the file open without letting others write.
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const bool locked = errno == EWOULDBLOCK;
            close(fd);
            return locked ? RecordWrite::Locked : RecordWrite::Failed;
        }
        std::string contents;
        std::int64_t size = 0;
        const bool read = ReadHead(fd, contents, size);
        const RecordAside aside = read ? AsideFor(contents, size, whenFull) : RecordAside::None;
        const bool written = read && aside == RecordAside::None &&
                             WriteWhole(fd, TextToAppend(contents, header, lines));
        const bool closed = close(fd) == 0;
        if (!read || aside == RecordAside::None) {
            return written && closed ? RecordWrite::Written : RecordWrite::Failed;
        }
        const bool moved = aside == RecordAside::Kept
                               ? KeepAside(path)
                               : std::rename(path.c_str(), RecordSibling(path, ".1").c_str()) == 0;
        if (!moved) {
            return RecordWrite::Failed;
        }
    }
    return RecordWrite::Failed;
}

bool RemoveRecordFile(const NativePath& path) {
    return unlink(path.c_str()) == 0;
}

bool RecordFileExists(const NativePath& path) {
    return access(path.c_str(), F_OK) == 0;
}

bool RecordHeldByAnother(const NativePath& path) {
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);  // and with it the lock, if it was had
    return held;
}

// A lock file in the temporary folder stands for the Windows program's named
// mutex: an exclusive flock, which every open of it contends for, thread or
// process alike, and which goes with its holder if that ends.
RecordDeliveryLock::RecordDeliveryLock() {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error) {
        return;
    }
    const std::string name = (folder / "EthBoxVup-record.lock").string();
    const int fd = open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0) {
        lock_ = fd;
        held_ = flock(fd, LOCK_EX) == 0;
    }
}

RecordDeliveryLock::~RecordDeliveryLock() {
    if (lock_ >= 0) {
        close(static_cast<int>(lock_));  // lets the lock go
    }
}
