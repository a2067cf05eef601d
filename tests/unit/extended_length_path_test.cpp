#include "platform/extended_length_path.h"

#include <gtest/gtest.h>

#include <string>

#ifdef _WIN32
#include <windows.h>

#include <cstdio>
#include <vector>

#include "platform/executable_path.h"
#include "platform/file_access.h"
#endif

namespace {

// A path of exactly `length` characters: `start`, then "d"s, then "\fw.bin".
std::wstring PathOfLength(const std::wstring& start, std::size_t length) {
    const std::wstring name = L"\\fw.bin";
    return start + std::wstring(length - start.size() - name.size(), L'd') + name;
}

// Two folders, each a name of a length every file system takes, that make any
// path long.
const std::wstring kDeep = std::wstring(130, L'd') + L"\\" + std::wstring(130, L'e');

TEST(ExtendedLengthPath, PrefixesAPathOfMaxPathOrMoreAsWindowsWouldReadItPlain) {
    const std::wstring path259 = PathOfLength(L"C:\\", 259);
    const std::wstring path260 = PathOfLength(L"C:\\", 260);
    const std::wstring path261 = PathOfLength(L"C:\\", 261);
    const std::wstring uncPath = L"\\\\server\\share\\" + kDeep + L"\\fw.bin";
    const struct {
        const char* what;
        std::wstring path;
        std::wstring opened;
    } rows[] = {
        {"259 characters: plain", path259, path259},
        {"260 characters", path260, L"\\\\?\\" + path260},
        {"261 characters", path261, L"\\\\?\\" + path261},
        {"a UNC path", uncPath, L"\\\\?\\UNC\\server\\share\\" + kDeep + L"\\fw.bin"},
        {"a path with the prefix already", L"\\\\?\\C:\\" + kDeep + L"\\x\\..\\fw.bin",
         L"\\\\?\\C:\\" + kDeep + L"\\x\\..\\fw.bin"},
        {"a UNC path with the prefix already", L"\\\\?\\UNC\\server\\share\\" + kDeep,
         L"\\\\?\\UNC\\server\\share\\" + kDeep},
        {"'/' as separator, the drive's included", L"C:/" + kDeep + L"/sub/fw.bin",
         L"\\\\?\\C:\\" + kDeep + L"\\sub\\fw.bin"},
        {"'..' goes back a folder", L"C:\\" + kDeep + L"\\sub\\..\\fw.bin",
         L"\\\\?\\C:\\" + kDeep + L"\\fw.bin"},
        {"'..' never above the drive", L"C:\\..\\..\\" + kDeep + L"\\fw.bin",
         L"\\\\?\\C:\\" + kDeep + L"\\fw.bin"},
        {"'..' never above the share", L"\\\\server\\share\\..\\" + kDeep + L"\\fw.bin",
         L"\\\\?\\UNC\\server\\share\\" + kDeep + L"\\fw.bin"},
        {"'.' and doubled separators", L"C:\\.\\" + kDeep + L"\\\\/.\\fw.bin",
         L"\\\\?\\C:\\" + kDeep + L"\\fw.bin"},
        {"a name ending in a dot, which then names no file", L"C:\\" + kDeep + L"\\fw.bin.",
         L"\\\\?\\C:\\" + kDeep + L"\\fw.bin."},
        {"a folder", L"C:\\" + kDeep + L"\\", L"\\\\?\\C:\\" + kDeep + L"\\"},
        {"relative", kDeep + L"\\..\\fw.bin", kDeep + L"\\..\\fw.bin"},
        {"from the current drive's root", L"\\" + kDeep + L"\\fw.bin", L"\\" + kDeep + L"\\fw.bin"},
        {"a device path", L"\\\\.\\C:\\" + kDeep, L"\\\\.\\C:\\" + kDeep},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(ExtendedLengthPath(row.path), row.opened);
    }
}

#ifdef _WIN32
// A file in a folder deeper than MAX_PATH below the test program, made and
// removed by prefixed paths: MinGW's listing of a folder, and with it
// std::filesystem::remove_all, reaches no deeper than MAX_PATH.
class DeepFile {
  public:
    DeepFile() {
        NativePath folder;
        if (!GetExecutablePath(folder)) {
            return;
        }
        folder.resize(folder.find_last_of(L'\\'));
        for (const std::wstring& name : {std::wstring(L"deep_fw"), std::wstring(130, L'd'),
                                         std::wstring(130, L'e'), std::wstring(L"sub")}) {
            folder += L"\\" + name;
            if (!CreateDirectoryW(ExtendedLengthPath(folder).c_str(), nullptr) &&
                GetLastError() != ERROR_ALREADY_EXISTS) {
                return;
            }
            folders_.push_back(folder);
        }
        std::FILE* file = _wfopen(ExtendedLengthPath(folder + L"\\fw.bin").c_str(), L"wb");
        if (file != nullptr && std::fclose(file) == 0) {
            file_ = folder + L"\\fw.bin";
        }
    }
    ~DeepFile() {
        if (!file_.empty()) {
            DeleteFileW(ExtendedLengthPath(file_).c_str());
        }
        for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder) {
            RemoveDirectoryW(ExtendedLengthPath(*folder).c_str());
        }
    }
    DeepFile(const DeepFile&) = delete;
    DeepFile& operator=(const DeepFile&) = delete;

    bool made() const { return !file_.empty(); }
    const std::wstring& folder() const { return folders_.back(); }

  private:
    std::vector<std::wstring> folders_;
    std::wstring file_;
};

// The built form opens the file that the plain path names, however it is
// spelt, in a folder deeper than MAX_PATH.
TEST(ExtendedLengthPath, OpensWhatThePlainPathNames) {
    const DeepFile deep;
    ASSERT_TRUE(deep.made());
    for (const wchar_t* name : {L"\\fw.bin", L"/fw.bin", L"\\..\\sub\\.\\fw.bin"}) {
        std::FILE* file = OpenRegularFileForReading((deep.folder() + name).c_str());
        EXPECT_NE(file, nullptr) << deep.folder().size() << " characters, then " << name;
        if (file != nullptr) {
            std::fclose(file);
        }
    }
}
#endif

}  // namespace
