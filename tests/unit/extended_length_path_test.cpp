#include "platform/extended_length_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A path of exactly `length` characters: `start`, then "d"s, then "\fw.bin".
std::wstring PathOfLength(const std::wstring& start, std::size_t length) {
    const std::wstring name = L"\\fw.bin";
    return start + std::wstring(length - start.size() - name.size(), L'd') + name;
}

// Two folders that make any path long.
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

// What a person would type for a path that may carry the prefix.
TEST(ExtendedLengthPath, WithoutThePrefixIsThePathAsTyped) {
    const struct {
        std::wstring path;
        std::wstring typed;
    } rows[] = {
        {L"\\\\?\\C:\\" + kDeep + L"\\fw.bin", L"C:\\" + kDeep + L"\\fw.bin"},
        {L"\\\\?\\UNC\\server\\share\\fw.bin", L"\\\\server\\share\\fw.bin"},
        {L"C:\\EthBoxVup\\fw.bin", L"C:\\EthBoxVup\\fw.bin"},
        {L"\\\\.\\C:\\fw.bin", L"\\\\.\\C:\\fw.bin"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(WithoutExtendedLengthPrefix(row.path), row.typed);
    }
}

}  // namespace
