#include "transfer/firmware_image.h"

#include <cstdio>
#include <cstring>
#include <limits>

#include "app/launch_options.h"
#include "platform/ansi_text.h"
#include "platform/executable_path.h"
#include "platform/file_access.h"
#include "transfer/tftp_packets.h"

FirmwareImage firmwareImage;

namespace {

constexpr std::size_t kDriveLength = 2;           // "C:"
constexpr std::size_t kMaxDirectoryLength = 255;  // separators included
constexpr std::int32_t kProgressStepCount = 10;   // the progress bar moves in ten steps
// An executable's drive and directory, a firmware name of the longest kind and
// the terminator, with room to spare for the executable's own file name.
constexpr std::size_t kPathSize = 2 * kFirmwareNameSize;

bool IsPathSeparator(unsigned char byte) {
    return byte == '\\' || byte == '/';
}

bool HasDrive(const char* path) {
    return path[0] != '\0' && path[1] == ':';
}

// Length of the directory at the start of `path`, up to and including its last
// separator. A double-byte character is stepped over whole, so that a trail
// byte of 0x5C (as in "表") is not taken for a backslash.
std::size_t DirectoryLength(const char* path) {
    std::size_t length = 0;
    std::size_t position = 0;
    while (path[position] != '\0') {
        const auto byte = static_cast<unsigned char>(path[position]);
        if (IsAnsiLeadByte(byte) && path[position + 1] != '\0') {
            position += 2;
            continue;
        }
        ++position;
        if (IsPathSeparator(byte)) {
            length = position;
        }
    }
    return length;
}

std::int32_t SizeOfOpenFile(std::FILE* file) {
    const std::int64_t size = MeasureOpenFile(file);
    if (size < 0 || size > std::numeric_limits<std::int32_t>::max()) {
        return -1;
    }
    return static_cast<std::int32_t>(size);
}

std::int32_t ReadOpenFile(std::FILE* file, void* buffer, std::int32_t count) {
    const std::size_t read = std::fread(buffer, 1, static_cast<std::size_t>(count), file);
    if (std::ferror(file)) {
        return -1;
    }
    return static_cast<std::int32_t>(read);
}

// A refused image leaves nothing an upload could send: no length, and none
// of the bytes of an image loaded before.
std::int32_t Refuse(FirmwareImage& image) {
    std::memset(image.data, 0, sizeof image.data);
    image.length = 0;
    return 0;
}

}  // namespace

std::int32_t ReadWholeFile(const char* path, void* buffer, std::int32_t count) {
    if (buffer != nullptr && count < 0) {
        return -1;
    }
    std::FILE* file = OpenRegularFileForReading(path);
    if (file == nullptr) {
        return 0;
    }
    const std::int32_t result = (buffer == nullptr || count == 0)
                                    ? SizeOfOpenFile(file)
                                    : ReadOpenFile(file, buffer, count);
    // The file was only read: a failed close loses nothing.
    static_cast<void>(std::fclose(file));
    return result;
}

bool BuildFirmwarePath(const char* executablePath, const char* firmwareName, char* path,
                       std::size_t size) {
    if (size == 0) {
        return false;
    }
    path[0] = '\0';
    // The directory runs up to and including its last separator, so it never
    // needs one added before the name.
    const std::size_t driveLength = HasDrive(executablePath) ? kDriveLength : 0;
    const std::size_t directoryLength = DirectoryLength(executablePath + driveLength);
    if (directoryLength > kMaxDirectoryLength) {
        return false;
    }
    const std::size_t prefixLength = driveLength + directoryLength;
    const std::size_t nameLength = std::strlen(firmwareName);
    if (prefixLength + nameLength >= size) {
        return false;
    }
    std::memcpy(path, executablePath, prefixLength);
    std::memcpy(path + prefixLength, firmwareName, nameLength + 1);
    return true;
}

std::int32_t LoadFirmwareImage(const char* firmwareName, FirmwareImage& image) {
    char executablePath[kPathSize];
    char path[kPathSize];
    if (!GetExecutablePath(executablePath, sizeof executablePath) ||
        !BuildFirmwarePath(executablePath, firmwareName, path, sizeof path)) {
        return Refuse(image);
    }

    const std::int32_t size = ReadWholeFile(path, nullptr, 0);
    if (size <= 0 || size >= kFirmwareBufferSize) {
        return Refuse(image);
    }
    // At most the size just measured is read, so a file that grew since cannot
    // overrun the buffer.
    const std::int32_t length = ReadWholeFile(path, image.data, size);
    const std::int32_t stepBlocks = (length / kTftpBlockSize) / kProgressStepCount;
    // An image too short for one step of the bar (under 5120 bytes) is
    // refused like an unreadable one.
    if (length <= 0 || stepBlocks == 0) {
        return Refuse(image);
    }
    image.length = length;
    return stepBlocks;
}

std::int32_t LoadFirmwareImage() {
    return LoadFirmwareImage(launchOptions.firmwareName, firmwareImage);
}
