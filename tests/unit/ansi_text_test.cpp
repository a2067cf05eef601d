#include "platform/ansi_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

// These hold for the system's own functions on Windows with code page 932 as
// for the portable implementation, so they run on both.

namespace {

// Lower-cases a copy held in a buffer of exactly its own size, so that the
// sanitizer reports any read past the terminator.
std::string Lowered(const std::string& text) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    LowerCaseAnsiText(buffer.data());
    return buffer.data();
}

std::string DoubleByte(unsigned code) {
    return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

// Code page 932 text in UTF-8, by the platform's own converter (glibc's iconv,
// or Windows'), which knows the code page independently of the code under
// test. Empty when the bytes are no text of the code page.
std::string FromCodePage932(const std::string& bytes) {
#ifdef _WIN32
    wchar_t wide[16];
    const int wideLength = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(),
                                               static_cast<int>(bytes.size()), wide, 16);
    char utf8[64];
    const int length = wideLength <= 0 ? 0
                                       : WideCharToMultiByte(CP_UTF8, 0, wide, wideLength, utf8,
                                                             sizeof utf8, nullptr, nullptr);
    return std::string(utf8, length > 0 ? static_cast<std::size_t>(length) : 0);
#else
    const iconv_t converter = iconv_open("UTF-8", "CP932");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return "";
    }
    std::vector<char> in(bytes.begin(), bytes.end());
    char out[64];
    char* inCursor = in.data();
    char* outCursor = out;
    std::size_t inLeft = in.size();
    std::size_t outLeft = sizeof out;
    const std::size_t converted = iconv(converter, &inCursor, &inLeft, &outCursor, &outLeft);
    iconv_close(converter);
    return converted == static_cast<std::size_t>(-1) || inLeft != 0 ? ""
                                                                    : std::string(out, outCursor);
#endif
}

// Characters of code page 932 at the edges of its byte ranges, with their
// bytes: the first byte of a double-byte character is a lead byte, and the
// byte of a single-byte character is not.
struct CodePageCharacter {
    const char* utf8;
    const char* bytes;
    const char* where;
};
const CodePageCharacter kCharacters[] = {
    {"A", "A", "ASCII"},
    {"~", "~", "the last ASCII character"},
    {"\uFF61", "\xA1", "the first half-width katakana, just past the first lead bytes"},
    {"\uFF9F", "\xDF", "the last half-width katakana, just before the second lead bytes"},
    {"\u3001", "\x81\x41", "the first lead byte"},
    {"\u3042", "\x82\xA0", "hiragana"},
    {"\u8868", "\x95\x5C", "a kanji whose trail byte is a backslash"},
    {"\u6ECC", "\x9F\xFC", "the last lead byte of the first range"},
    {"\u6F3E", "\xE0\x40", "the first lead byte of the second range"},
    {"\u7199", "\xEA\xA4", "the last character of JIS X 0208"},
    {"\u7E8A", "\xED\x40", "the NEC-selected IBM extensions"},
    {"\uE000", "\xF0\x40", "the user-defined characters"},
    {"\u2170", "\xFA\x40", "the IBM extensions"},
    {"\u9ED1", "\xFC\x4B", "the last lead byte"},
};

TEST(IsAnsiLeadByte, AgreesWithTheCharactersOfCodePage932) {
    for (const CodePageCharacter& c : kCharacters) {
        SCOPED_TRACE(c.where);
        const std::string bytes = c.bytes;
        ASSERT_EQ(FromCodePage932(bytes), c.utf8) << "the table is wrong, not the code";
        EXPECT_EQ(IsAnsiLeadByte(static_cast<unsigned char>(bytes[0])), bytes.size() == 2);
    }
    // Rows without a character still take two bytes; the bytes beyond the
    // lead-byte ranges stand alone, though they name no character.
    for (const unsigned lead : {0x85u, 0x86u, 0xEBu, 0xECu, 0xEFu, 0xF9u}) {
        EXPECT_TRUE(IsAnsiLeadByte(static_cast<unsigned char>(lead))) << std::hex << lead;
    }
    for (const unsigned single : {0x00u, 0x7Fu, 0x80u, 0xA0u, 0xFDu, 0xFEu, 0xFFu}) {
        EXPECT_FALSE(IsAnsiLeadByte(static_cast<unsigned char>(single))) << std::hex << single;
    }
}

TEST(LowerCaseAnsiText, LowerCasesAsciiCapitalsAndNoOtherSingleByte) {
    EXPECT_EQ(Lowered("/FM1:Firm.BIN /TYPE_AP"), "/fm1:firm.bin /type_ap");
    EXPECT_EQ(Lowered("@AZ[`az{"), "@az[`az{");
    EXPECT_EQ(Lowered(""), "");

    // Every byte that stands alone in code page 932 but a capital: the rest of
    // ASCII, 0x80, 0xA0 and the half-width katakana, and 0xFD to 0xFF.
    const struct {
        unsigned first;
        unsigned last;
    } singles[] = {{0x01, 0x40}, {0x5B, 0x80}, {0xA0, 0xDF}, {0xFD, 0xFF}};
    std::string others;
    for (const auto& range : singles) {
        for (unsigned byte = range.first; byte <= range.last; ++byte) {
            others.push_back(static_cast<char>(byte));
        }
    }
    EXPECT_EQ(Lowered(others), others);
}

TEST(LowerCaseAnsiText, LowerCasesDoubleByteCapitals) {
    struct Case {
        unsigned capital;
        unsigned small;
    };
    const Case cases[] = {
        {0x8260, 0x8281}, {0x8279, 0x829A},  // full-width Ａ, Ｚ
        {0x839F, 0x83BF}, {0x83B6, 0x83D6},  // Greek Α, Ω
        {0x8440, 0x8470}, {0x844E, 0x847E},  // Cyrillic А, Н: before the trail byte gap at 0x7F
        {0x844F, 0x8480}, {0x8460, 0x8491},  // Cyrillic О, Я: after it
        {0x8754, 0xFA40}, {0x875D, 0xFA49},  // Roman numerals Ⅰ, Ⅹ
        {0xFA4A, 0xFA40}, {0xFA53, 0xFA49},  // the same from the IBM extension
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Lowered(DoubleByte(c.capital)), DoubleByte(c.small)) << std::hex << c.capital;
        EXPECT_EQ(Lowered(DoubleByte(c.small)), DoubleByte(c.small)) << std::hex << c.small;
    }
    // Ｆｉｒｍ表.BIN
    EXPECT_EQ(Lowered("\x82\x65\x82\x89\x82\x92\x82\x8D\x95\x5C.BIN"),
              "\x82\x86\x82\x89\x82\x92\x82\x8D\x95\x5C.bin");
    // Full-width digits and kana have no case.
    const std::string uncased = "\x82\x4F\x82\x58\x82\xA0\x83\x40\x83\x96";  // ０９あァヶ
    EXPECT_EQ(Lowered(uncased), uncased);
}

TEST(LowerCaseAnsiText, NeverTakesATrailByteForALetter) {
    // Trail bytes 0x41-0x5A: katakana (ア...), and kanji from three other rows.
    for (const unsigned lead : {0x83u, 0x89u, 0x95u, 0xE0u}) {
        std::string text;
        for (unsigned trail = 'A'; trail <= 'Z'; ++trail) {
            text += DoubleByte(lead << 8 | trail);
        }
        EXPECT_EQ(Lowered(text), text) << std::hex << lead;
    }
    EXPECT_EQ(Lowered("A\x83\x41"
                      "B\x83\x5A"
                      "Z"),
              "a\x83\x41"
              "b\x83\x5A"
              "z");
}

TEST(LowerCaseAnsiText, StopsAtALeadByteThatEndsTheText) {
    EXPECT_EQ(Lowered("A\x81"), "a\x81");
    EXPECT_EQ(Lowered("AB\xFC"), "ab\xFC");
    EXPECT_EQ(Lowered("\x82"), "\x82");
}

}  // namespace
