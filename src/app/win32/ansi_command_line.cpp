#include "ansi_command_line.h"

#include <windows.h>

namespace {

// In no option, and a wildcard that no file on Windows is named with.
constexpr char kStandInForMissingCharacter[] = "?";

}  // namespace

std::string AnsiCommandLine() {
    const wchar_t* line = GetCommandLineW();
    // A system whose ANSI code page is UTF-8 holds every character, and the
    // conversion to it takes neither flag nor stand-in.
    const bool holdsEveryCharacter = GetACP() == CP_UTF8;
    const DWORD flags = holdsEveryCharacter ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* standIn = holdsEveryCharacter ? nullptr : kStandInForMissingCharacter;

    const int size = WideCharToMultiByte(CP_ACP, flags, line, -1, nullptr, 0, standIn, nullptr);
    if (size <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    if (WideCharToMultiByte(CP_ACP, flags, line, -1, text.data(), size, standIn, nullptr) != size) {
        return {};
    }
    text.resize(static_cast<std::size_t>(size) - 1);  // without the terminator
    return text;
}
