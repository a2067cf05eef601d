#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/native_path.h"

// Opens `path` for reading in binary mode when it names a regular file.
// Null for a missing file, a directory, a device or anything else that is not
// plain stored data, and without ever waiting for a writer to appear.
std::FILE* OpenRegularFileForReading(const PathChar* path);

// The size of an open file, by seeking to its end; the file is left positioned
// at its start. -1 when a seek fails.
std::int64_t MeasureOpenFile(std::FILE* file);

// The whole of the small file at `path` (an address list, the lines waiting
// for a record), read in one piece. False, with `contents` empty, when it
// cannot be opened as above or read, or holds more than `maxBytes`: nothing
// is read of a file too large for its purpose.
bool ReadSmallFile(const PathChar* path, std::size_t maxBytes, std::string& contents);
