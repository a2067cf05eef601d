// The command line in the bytes its options are read in, under each kind of
// ANSI code page Windows may have, run under Wine.
#include "ansi_command_line.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

constexpr wchar_t kLineBeforeTheName[] = L"\"C:\\x\\EthBoxVup.exe\" /type_ap /fm1:";
constexpr char kBytesBeforeTheName[] = "\"C:\\x\\EthBoxVup.exe\" /type_ap /fm1:";

TEST(AnsiCommandLine, KeepsEveryCharacterItsCodePageHoldsAndNoLookAlike) {
    const struct {
        const char* what;
        unsigned codePage;
        const wchar_t* name;
        std::optional<std::string> bytes;  // nothing: the line is refused
    } rows[] = {
        {"UTF-8, a Japanese name", CP_UTF8, L"\x30D5\x30A1\x30FC\x30E0.bin",
         "\xE3\x83\x95\xE3\x82\xA1\xE3\x83\xBC\xE3\x83\xA0.bin"},
        {"UTF-8, a character beyond the BMP: a whole surrogate pair", CP_UTF8, L"\xD835\xDD23.bin",
         "\xF0\x9D\x94\xA3.bin"},
        {"UTF-8, an unpaired high surrogate", CP_UTF8, L"\xD835.bin", std::nullopt},
        {"UTF-8, an unpaired low surrogate", CP_UTF8, L"\xDD23.bin", std::nullopt},
        {"UTF-8, a high surrogate that ends the line", CP_UTF8, L"fw.bin\xD835", std::nullopt},
        {"932, a Japanese name", 932, L"\x30D5\x30A1\x30FC\x30E0.bin",
         "\x83\x74\x83\x40\x81\x5B\x83\x80.bin"},
        {"932, a yen sign, which best fit makes the path separator", 932,
         L"fw\x00A5"
         L"1.bin",
         "fw?1.bin"},
        {"932, an unpaired surrogate", 932, L"\xD835.bin", "?.bin"},
        {"1252, a letter of the code page", 1252, L"F\x00C4.bin", "F\xC4.bin"},
        {"1252, full-width letters, which best fit makes ASCII", 1252, L"\xFF46\xFF57.bin",
         "??.bin"},
        {"1252, an unpaired surrogate", 1252, L"\xDD23.bin", "?.bin"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::wstring line = kLineBeforeTheName + std::wstring(row.name);
        const std::optional<std::string> expected =
            row.bytes ? std::optional<std::string>(kBytesBeforeTheName + *row.bytes) : std::nullopt;
        EXPECT_EQ(AnsiCommandLine(line.c_str(), row.codePage), expected);
    }
}

}  // namespace
