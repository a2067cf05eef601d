#include "platform/file_access.h"

#include <io.h>
#include <windows.h>

#include "platform/extended_length_path.h"

std::FILE* OpenRegularFileForReading(const PathChar* path) {
    // Windows refuses to open a directory as a file by itself; device names
    // such as "nul" or "con" open, so the handle's type is checked too. A
    // path of MAX_PATH or more, which Windows refuses plain, goes prefixed.
    std::FILE* file = _wfopen(ExtendedLengthPath(path).c_str(), L"rb");
    if (file == nullptr) {
        return nullptr;
    }
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK) {
        static_cast<void>(std::fclose(file));  // opened only to be refused
        return nullptr;
    }
    return file;
}

std::int64_t MeasureOpenFile(std::FILE* file) {
    // The 64-bit calls: a long is 32 bits here, too short for a file of 2 GiB or more.
    if (_fseeki64(file, 0, SEEK_END) != 0) {
        return -1;
    }
    const __int64 size = _ftelli64(file);
    if (size < 0 || _fseeki64(file, 0, SEEK_SET) != 0) {
        return -1;
    }
    return size;
}
