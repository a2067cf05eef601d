#include "platform/ansi_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(IsAnsiLeadByte, MatchesTheLeadByteRangesOfCodePage932) {
    for (unsigned byte = 0; byte <= 0xFF; ++byte) {
        const bool lead = (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        EXPECT_EQ(IsAnsiLeadByte(static_cast<unsigned char>(byte)), lead) << std::hex << byte;
    }
}

TEST(LowerCaseAnsiText, LowerCasesAsciiCapitalsAndNoOtherSingleByte) {
    EXPECT_EQ(Lowered("/FM1:Firm.BIN /TYPE_AP"), "/fm1:firm.bin /type_ap");
    EXPECT_EQ(Lowered("@AZ[`az{"), "@az[`az{");
    EXPECT_EQ(Lowered(""), "");

    // Every other byte that is not a lead byte, half-width katakana among them.
    std::string others;
    for (unsigned byte = 0x01; byte <= 0xFF; ++byte) {
        if (!(byte >= 'A' && byte <= 'Z') && !IsAnsiLeadByte(static_cast<unsigned char>(byte))) {
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
