#include "output.h"

#include <cstdint>
#include <cstdio>

#include "window_text.h"

void PrintLine(std::string_view utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void PrintLine(std::wstring_view text) {
    PrintLine(Utf8FromWide(text));
}

int Fail(std::string_view message) {
    std::fputs("ethbox-driver: ", stderr);
    std::fwrite(message.data(), 1, message.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    return 1;
}

std::string OneLine(std::wstring_view text) {
    std::wstring escaped;
    for (const wchar_t c : text) {
        switch (c) {
            case L'\n':
                escaped += L"\\n";
                break;
            case L'\r':
                escaped += L"\\r";
                break;
            case L'\\':
                escaped += L"\\\\";
                break;
            default:
                escaped += c;
                break;
        }
    }
    return Utf8FromWide(escaped);
}

std::string HandleText(const void* handle) {
    char text[32];
    std::snprintf(text, sizeof(text), "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(handle)));
    return text;
}

std::string RectText(const RECT& rect) {
    return std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
           std::to_string(rect.right) + "," + std::to_string(rect.bottom);
}
