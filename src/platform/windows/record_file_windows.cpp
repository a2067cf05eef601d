#include <windows.h>

#include "platform/record_file.h"

namespace {

bool SizeOf(const NativePath& path, std::int64_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    *size = (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

// Writes all of `text` at the end with one call, or takes back whatever part
// of it got written.
bool WriteWholeAtEnd(HANDLE file, const std::string& text) {
    LARGE_INTEGER end{};
    if (!SetFilePointerEx(file, LARGE_INTEGER{}, &end, FILE_END)) {
        return false;
    }
    DWORD written = 0;
    if (WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size()) {
        return true;
    }
    if (written > 0 && SetFilePointerEx(file, end, nullptr, FILE_BEGIN)) {
        SetEndOfFile(file);
    }
    return false;
}

}  // namespace

bool AppendRecordLine(const NativePath& path, const NativePath& rotatedPath,
                      const std::string& header, const std::string& line) {
    std::int64_t size = 0;
    if (SizeOf(path, &size) && size > kRecordRotationBytes &&
        !MoveFileExW(path.c_str(), rotatedPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return false;
    }
    // Others may read the record meanwhile, never write it.
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER length{};
    bool written = false;
    if (GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &length)) {
        const std::string text = length.QuadPart == 0 ? kUtf8ByteOrderMark + header + line : line;
        written = WriteWholeAtEnd(file, text);
    }
    const bool closed = CloseHandle(file) != 0;
    return written && closed;
}
