#pragma once

#include <cstdint>
#include <string>

#include "platform/native_path.h"

// The update record is appended to, a line at a time, and never read by us.

// A record that has grown past this is begun anew.
constexpr std::int64_t kRecordRotationBytes = std::int64_t{1024} * 1024;

// Appends `line` to the file at `path`. A file that is created (or found
// empty) gets the UTF-8 byte-order mark and `header` first. A file already
// past kRecordRotationBytes is first renamed to `rotatedPath`, replacing
// whatever is there, and a new one begun. Each line reaches the file in one
// write, and a write that falls short (a full disk) is taken back, so an
// interrupted program leaves no half line in the middle of the file. False on
// any failure (a folder that cannot be written, a full disk, a file that is a
// directory or is locked), which the caller may only swallow.
bool AppendRecordLine(const NativePath& path, const NativePath& rotatedPath,
                      const std::string& header, const std::string& line);

// The byte-order mark that tells a spreadsheet the file is UTF-8.
constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";
