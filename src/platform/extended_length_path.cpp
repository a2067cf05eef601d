#include "platform/extended_length_path.h"

#include <algorithm>
#include <vector>

namespace {

// MAX_PATH: the terminator included, a plain path holds at most 259 characters.
constexpr std::size_t kShortestLongPath = 260;

bool IsSeparator(wchar_t unit) {
    return unit == L'\\' || unit == L'/';
}

bool IsDriveLetter(wchar_t unit) {
    return (unit >= L'A' && unit <= L'Z') || (unit >= L'a' && unit <= L'z');
}

// Where the segment that begins at `start` ends: at the next separator, or at
// the end of the path.
std::size_t SegmentEnd(const std::wstring& path, std::size_t start) {
    std::size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) {
        ++end;
    }
    return end;
}

// The start of an absolute path, "C:\" or "\\server\share\", in its prefixed
// form, and how many units of the path it spans (none for any other path).
struct Root {
    std::wstring prefixed;
    std::size_t length = 0;
};

Root RootOf(const std::wstring& path) {
    if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && IsSeparator(path[2])) {
        return {L"\\\\?\\" + path.substr(0, 2) + L"\\", 3};
    }
    if (path.size() < 2 || !IsSeparator(path[0]) || !IsSeparator(path[1])) {
        return {};
    }
    const std::size_t serverEnd = SegmentEnd(path, 2);
    const std::wstring server = path.substr(2, serverEnd - 2);
    // "\\?\" and "\\.\" begin a path that Windows does not read as a file's.
    if (server.empty() || server == L"?" || server == L"." || serverEnd == path.size()) {
        return {};
    }
    const std::size_t shareEnd = SegmentEnd(path, serverEnd + 1);
    if (shareEnd == serverEnd + 1) {
        return {};
    }
    const std::wstring share = path.substr(serverEnd + 1, shareEnd - serverEnd - 1);
    return {L"\\\\?\\UNC\\" + server + L"\\" + share + L"\\", std::min(shareEnd + 1, path.size())};
}

}  // namespace

std::wstring WithoutExtendedLengthPrefix(const std::wstring& path) {
    static const std::wstring kPrefix = L"\\\\?\\";
    static const std::wstring kUncPrefix = L"\\\\?\\UNC\\";
    if (path.compare(0, kUncPrefix.size(), kUncPrefix) == 0) {
        return L"\\\\" + path.substr(kUncPrefix.size());
    }
    if (path.compare(0, kPrefix.size(), kPrefix) == 0) {
        return path.substr(kPrefix.size());
    }
    return path;
}

std::wstring ExtendedLengthPath(const std::wstring& path) {
    const Root root = RootOf(path);
    if (path.size() < kShortestLongPath || root.length == 0) {
        return path;
    }
    // ".." goes back one segment, never above the root, as Windows reads it.
    std::vector<std::wstring> segments;
    for (std::size_t start = root.length; start < path.size();) {
        const std::size_t end = SegmentEnd(path, start);
        const std::wstring segment = path.substr(start, end - start);
        if (segment == L"..") {
            if (!segments.empty()) {
                segments.pop_back();
            }
        } else if (!segment.empty() && segment != L".") {
            segments.push_back(segment);
        }
        start = end + 1;
    }
    std::wstring extended = root.prefixed;
    for (std::size_t index = 0; index < segments.size(); ++index) {
        extended += (index == 0 ? L"" : L"\\") + segments[index];
    }
    if (IsSeparator(path.back()) && !segments.empty()) {
        extended += L'\\';
    }
    return extended;
}
