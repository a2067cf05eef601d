#include "platform/path_text.h"

#include <windows.h>

#include "platform/extended_length_path.h"

std::string PathAsTyped(const NativePath& path) {
    const std::wstring plain = WithoutExtendedLengthPrefix(path);
    if (plain.empty()) {
        return {};
    }
    const int wide = static_cast<int>(plain.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, plain.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) {
        WideCharToMultiByte(CP_UTF8, 0, plain.data(), wide, text.data(), length, nullptr, nullptr);
    }
    return text;
}
