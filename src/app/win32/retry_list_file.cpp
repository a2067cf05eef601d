#include "retry_list_file.h"

#include <windows.h>

#include "app/round_of_boxes.h"
#include "platform/extended_length_path.h"
#include "update_record.h"
#include "window_text.h"

namespace {

// The whole text, or no file: a list cut short would retry fewer boxes.
bool WriteWhole(const std::wstring& path, const std::string& text) {
    const std::wstring target = ExtendedLengthPath(path);
    const HANDLE file = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool whole =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size();
    const bool closed = CloseHandle(file) != FALSE;
    if (!whole || !closed) {
        DeleteFileW(target.c_str());
        return false;
    }
    return true;
}

}  // namespace

RetryListPlace KeepRetryList(const std::string& text) {
    const std::wstring name = WideFromUtf8(kRetryListName);
    const std::wstring besideProgram = ExecutableFolder();
    RetryListPlace place;
    for (const std::wstring& folder : RecordFolders()) {
        const std::wstring path = ExtendedLengthPath(folder + name);
        if (place.path.empty() && !text.empty()) {
            // The user's own folder is made by the first line written there.
            CreateDirectoryW(ExtendedLengthPath(folder).c_str(), nullptr);
            if (WriteWhole(path, text)) {
                place.path = Utf8FromWide(folder + name);
                place.besideProgram = folder == besideProgram;
                continue;
            }
        }
        DeleteFileW(path.c_str());
        if (folder == besideProgram) {
            place.oldListLeft = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
        }
    }
    return place;
}
