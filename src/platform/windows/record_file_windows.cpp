#include <windows.h>

#include "platform/extended_length_path.h"
#include "platform/record_file.h"

namespace {

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

// Up to kRecordRotationBytes of the file from its start, and its size.
bool ReadHead(HANDLE file, std::string& contents, std::int64_t& size) {
    LARGE_INTEGER length{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &length)) {
        return false;
    }
    size = length.QuadPart;
    contents.resize(static_cast<std::size_t>(size <= kRecordRotationBytes ? size : 3));
    DWORD read = 0;
    return contents.empty() ||
           (ReadFile(file, &contents[0], static_cast<DWORD>(contents.size()), &read, nullptr) &&
            read == contents.size());
}

// Renames the file at `path` to the first free NAME.kept-N.csv.
bool KeepAside(const NativePath& path) {
    for (int number = 1; number <= 999; ++number) {
        const std::string suffix = ".kept-" + std::to_string(number);
        const NativePath kept = ExtendedLengthPath(RecordSibling(path, suffix.c_str()));
        if (MoveFileExW(ExtendedLengthPath(path).c_str(), kept.c_str(), 0)) {
            return true;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) {
            return false;
        }
    }
    return false;
}

// Others may read the record meanwhile, never write it.
HANDLE Open(const NativePath& path) {
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

RecordWrite AppendRecordLines(const NativePath& path, const std::string& header,
                              const std::string& lines, WhenFull whenFull) {
    const NativePath target = ExtendedLengthPath(path);
    // A file put aside is followed by a new one: two rounds at most.
    for (int round = 0; round < 2; ++round) {
        HANDLE file = Open(target);
        if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND &&
            CreateDirectoryW(ExtendedLengthPath(RecordFolder(path)).c_str(), nullptr)) {
            file = Open(target);
        }
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION
                       ? RecordWrite::Locked
                       : RecordWrite::Failed;
        }
        std::string contents;
        std::int64_t size = 0;
        const bool read = ReadHead(file, contents, size);
        const RecordAside aside = read ? AsideFor(contents, size, whenFull) : RecordAside::None;
        const bool written = read && aside == RecordAside::None &&
                             WriteWholeAtEnd(file, TextToAppend(contents, header, lines));
        const bool closed = CloseHandle(file) != 0;
        if (!read || aside == RecordAside::None) {
            return written && closed ? RecordWrite::Written : RecordWrite::Failed;
        }
        const bool moved =
            aside == RecordAside::Kept
                ? KeepAside(path)
                : MoveFileExW(target.c_str(), ExtendedLengthPath(RecordSibling(path, ".1")).c_str(),
                              MOVEFILE_REPLACE_EXISTING) != 0;
        if (!moved) {
            return RecordWrite::Failed;
        }
    }
    return RecordWrite::Failed;
}

RecordDeliveryLock::RecordDeliveryLock() {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Global\\TALVORIN_EthernetBox_VupUtility.Record");
    if (mutex != nullptr) {
        lock_ = reinterpret_cast<std::intptr_t>(mutex);
        const DWORD waited = WaitForSingleObject(mutex, 60 * 1000);
        // Abandoned: its holder ended in the middle, and now we hold it.
        held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
}

RecordDeliveryLock::~RecordDeliveryLock() {
    if (lock_ == -1) {
        return;
    }
    const auto mutex = reinterpret_cast<HANDLE>(lock_);
    if (held_) {
        ReleaseMutex(mutex);
    }
    CloseHandle(mutex);
}

bool RemoveRecordFile(const NativePath& path) {
    return DeleteFileW(ExtendedLengthPath(path).c_str()) != 0;
}

bool RecordFileExists(const NativePath& path) {
    return GetFileAttributesW(ExtendedLengthPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RecordHeldByAnother(const NativePath& path) {
    // Asked as AppendRecordLines asks, but only for a file that is there.
    HANDLE file =
        CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
    }
    CloseHandle(file);
    return false;
}
