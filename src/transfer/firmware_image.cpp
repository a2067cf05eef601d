#include "transfer/firmware_image.h"

#include <cstdio>
#include <cstring>
#include <limits>

#include "common/launch_options.h"
#include "platform/ansi_text.h"
#include "platform/executable_path.h"
#include "platform/file_access.h"
#include "platform/path_text.h"
#include "transfer/tftp_packets.h"

FirmwareImage firmwareImage;

namespace {

constexpr std::int32_t kProgressStepCount = 10;  // the progress bar moves in ten steps

bool IsPathSeparator(PathChar unit) {
    return unit == '\\' || unit == '/';
}

// Length of the directory at the start of `path`, up to and including its
// last separator, a drive ("C:") included. No unit of a character is ever
// taken for a separator by mistake: the path is UTF-16 on Windows and UTF-8
// elsewhere, and in neither is a separator part of another character.
std::size_t DirectoryLength(const NativePath& path) {
    const bool hasDrive = path.size() >= 2 && path[1] == ':';
    std::size_t length = hasDrive ? 2 : 0;
    for (std::size_t position = length; position < path.size(); ++position) {
        if (IsPathSeparator(path[position])) {
            length = position + 1;
        }
    }
    return length;
}

// "?" and "*" are wildcards, in no file's name on Windows, and "?" is what
// the command line holds in place of a character its code page lacks (a
// trail byte of code page 932 is never either). Such a name is refused here,
// whatever the file system below might make of it.
bool CanNameAFile(const char* firmwareName) {
    return std::strpbrk(firmwareName, "?*") == nullptr;
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
std::int32_t Refuse(FirmwareImage& image, ImageRefusal refusal, std::int64_t fileSize = 0) {
    std::memset(image.data, 0, sizeof image.data);
    image.length = 0;
    image.refusal = refusal;
    image.fileSize = fileSize;
    return 0;
}

// ReadWholeFile gives 0 for a file that cannot be opened and for an empty
// one alike; what the technician is told differs.
std::int32_t RefuseNoBytes(FirmwareImage& image, const PathChar* path) {
    std::FILE* file = OpenRegularFileForReading(path);
    if (file == nullptr) {
        return Refuse(image, ImageRefusal::NotFound);
    }
    static_cast<void>(std::fclose(file));  // only opened to tell
    return Refuse(image, ImageRefusal::TooSmall, 0);
}

}  // namespace

std::int32_t ReadWholeFile(const PathChar* path, void* buffer, std::int32_t count) {
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

NativePath BuildFirmwarePath(const NativePath& executablePath, const NativePath& firmwareName) {
    // The directory runs up to and including its last separator, so it never
    // needs one added before the name.
    return executablePath.substr(0, DirectoryLength(executablePath)) + firmwareName;
}

std::int32_t LoadFirmwareImage(const char* firmwareName, FirmwareImage& image) {
    NativePath executablePath;
    NativePath name;
    image.path.clear();
    if (!CanNameAFile(firmwareName) || !AnsiTextToPath(firmwareName, name)) {
        return Refuse(image, ImageRefusal::NameRefused);
    }
    if (!GetExecutablePath(executablePath)) {
        return Refuse(image, ImageRefusal::NotFound);
    }
    const NativePath path = BuildFirmwarePath(executablePath, name);
    image.path = PathAsTyped(path);

    const std::int32_t size = ReadWholeFile(path.c_str(), nullptr, 0);
    if (size == 0) {
        return RefuseNoBytes(image, path.c_str());
    }
    if (size < 0) {
        return Refuse(image, ImageRefusal::ReadError);
    }
    if (size >= kFirmwareBufferSize) {
        return Refuse(image, ImageRefusal::TooLarge, size);
    }
    // At most the size just measured is read, so a file that grew since cannot
    // overrun the buffer.
    const std::int32_t length = ReadWholeFile(path.c_str(), image.data, size);
    const std::int32_t stepBlocks = (length / kTftpBlockSize) / kProgressStepCount;
    // An image too short for one step of the bar (under 5120 bytes) is
    // refused like an unreadable one.
    if (length <= 0) {
        return Refuse(image, ImageRefusal::ReadError);
    }
    if (stepBlocks == 0) {
        return Refuse(image, ImageRefusal::TooSmall, length);
    }
    image.length = length;
    image.refusal = ImageRefusal::None;
    image.fileSize = length;
    return stepBlocks;
}

std::int32_t LoadFirmwareImage() {
    return LoadFirmwareImage(launchOptions.firmwareName, firmwareImage);
}
