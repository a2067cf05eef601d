#include "ansi_command_line.h"

#include <windows.h>

namespace {

// In no option, and a wildcard that no file on Windows is named with.
constexpr char kStandInForMissingCharacter[] = "?";

}  // namespace

std::optional<std::string> AnsiCommandLine(const wchar_t* line, unsigned codePage) {
    // UTF-8 takes neither best fit nor a stand-in; what it is told instead is
    // to fail on an unpaired surrogate rather than write U+FFFD for it.
    const bool holdsEveryCharacter = codePage == CP_UTF8;
    const DWORD flags = holdsEveryCharacter ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    const char* standIn = holdsEveryCharacter ? nullptr : kStandInForMissingCharacter;

    const int size = WideCharToMultiByte(codePage, flags, line, -1, nullptr, 0, standIn, nullptr);
    if (size <= 0) {
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    if (WideCharToMultiByte(codePage, flags, line, -1, text.data(), size, standIn, nullptr) !=
        size) {
        return std::nullopt;
    }
    text.resize(static_cast<std::size_t>(size) - 1);  // without the terminator
    return text;
}
