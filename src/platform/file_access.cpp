#include "platform/file_access.h"

bool ReadSmallFile(const PathChar* path, std::size_t maxBytes, std::string& contents) {
    contents.clear();
    std::FILE* file = OpenRegularFileForReading(path);
    if (file == nullptr) {
        return false;
    }
    const std::int64_t size = MeasureOpenFile(file);
    bool read = size >= 0 && static_cast<std::uint64_t>(size) <= maxBytes;
    if (read && size > 0) {
        contents.resize(static_cast<std::size_t>(size));
        read = std::fread(&contents[0], 1, contents.size(), file) == contents.size();
    }
    static_cast<void>(std::fclose(file));  // only read
    if (!read) {
        contents.clear();
    }
    return read;
}
