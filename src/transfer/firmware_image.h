#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/update_outcome.h"
#include "platform/native_path.h"

constexpr std::int32_t kFirmwareBufferSize =
    188416;  // 0x2E000: one byte more than the largest image

struct FirmwareImage {
    std::uint8_t data[kFirmwareBufferSize];
    std::int32_t length;  // valid only after a successful load; 0 after a refused one
    // After a refused load: why, and the file's size where that is why.
    ImageRefusal refusal;
    std::int64_t fileSize;
    // Where the last load looked, as a person would type the path (UTF-8);
    // empty when it made none.
    std::string path;
};

// The process-wide image the upload sends from.
extern FirmwareImage firmwareImage;

// Loads launchOptions.firmwareName from the executable's directory into
// firmwareImage. Returns stepBlocks (whole blocks / 10), or 0 on any failure,
// an image shorter than 5120 bytes among them; a refused image is left with
// length 0 and its data cleared.
std::int32_t LoadFirmwareImage();

// The same for a given name (text of the ANSI code page) and image.
std::int32_t LoadFirmwareImage(const char* firmwareName, FirmwareImage& image);

// With no buffer or a count of 0: the file's size. Otherwise reads up to
// `count` bytes and returns how many were read. 0 when the file cannot be
// opened as a regular file; -1 when a seek or read fails, when the size does
// not fit in the result, or for a negative count.
std::int32_t ReadWholeFile(const PathChar* path, void* buffer, std::int32_t count);

// Drive and directory of `executablePath` followed by `firmwareName`, which is
// appended unchanged. Either separator counts, and in a path of bytes the
// double-byte characters of the ANSI code page are respected.
NativePath BuildFirmwarePath(const NativePath& executablePath, const NativePath& firmwareName);
