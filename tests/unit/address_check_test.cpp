#include "app/address_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "common/typed_address.h"

namespace {

// The ideographic blank U+3000, and the full-width digits 1 and 0. Each is kept
// apart from what follows so that a hex escape never runs on into it.
const std::string kCp932Blank = "\x81\x40";
const std::string kUtf8Blank = "\xE3\x80\x80";
const std::string kUtf8FullWidthOne = "\xEF\xBC\x91";
const std::string kCp932FullWidthZero = "\x82\x4F";

// A copy held in a buffer of exactly its own size, so that the sanitizer
// reports any read past the terminator.
std::vector<char> Terminated(const std::string& text) {
    std::vector<char> copy(text.begin(), text.end());
    copy.push_back('\0');
    return copy;
}

std::string Blanks(std::size_t count) {
    return std::string(count, ' ');
}

// 127.0.0.1 behind leading zeros, `length` characters in all.
std::string PaddedLoopback(std::size_t length) {
    return std::string(length - 9, '0') + "127.0.0.1";
}

struct StripCase {
    const char* what;
    std::string text;
    std::size_t limit;
    std::string expected;
};

TEST(StripSpaces, RemovesOnlyBlanksFromTheCharactersBeforeTheLastPlaceOfTheField) {
    const StripCase cases[] = {
        {"nothing to remove", "192.168.0.1", 70, "192.168.0.1"},
        {"blanks anywhere", " 1 92.168 . 0.1  ", 70, "192.168.0.1"},
        {"blanks only", Blanks(5), 70, ""},
        {"empty", "", 70, ""},
        {"a tab stays", "1\t2", 70, "1\t2"},
        {"a double-byte blank of code page 932 stays", "1" + kCp932Blank + "2", 70,
         "1" + kCp932Blank + "2"},
        {"a full-width blank in UTF-8 stays", "1" + kUtf8Blank + "2", 70, "1" + kUtf8Blank + "2"},
        {"69 characters read, blanks included", Blanks(68) + "123", 70, "1"},
        {"the 70th character is never read", std::string(69, 'a') + "b", 70, std::string(69, 'a')},
        {"limit 2 reads one character", "ab", 2, "a"},
        {"limit 1 reads none", "ab", 1, ""},
        {"limit 0 reads none", "ab", 0, ""},
        {"a limit above 640 counts as 640", std::string(700, 'x'), 100000, std::string(639, 'x')},
        {"640 itself", std::string(700, 'x'), 640, std::string(639, 'x')},
    };
    for (const StripCase& c : cases) {
        std::vector<char> text = Terminated(c.text);
        EXPECT_EQ(std::string(StripSpaces(text.data(), c.limit)), c.expected) << c.what;
    }
}

TEST(StripSpaces, AnswersInOneBufferThatTheNextCallOverwrites) {
    const char* first = StripSpaces("1 2 3", 70);
    EXPECT_STREQ(first, "123");
    const char* second = StripSpaces("4", 70);
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "4");
    EXPECT_STREQ(StripSpaces(nullptr, 70), "");
}

struct AddressCase {
    std::string text;
    bool dotted;
};

TEST(IsDottedAddress, AcceptsFourDecimalGroupsUpTo255InAtMost63Characters) {
    const AddressCase cases[] = {
        {"127.0.0.1", true},
        {"255.255.255.255", true},
        {"192.168.000.010", true},  // leading zeros, as the message's own hint shows
        {"000.000.000.000", true},
        {PaddedLoopback(63), true},
        {PaddedLoopback(64), false},  // more than the endpoint can hold
        {"", false},
        {"...", false},  // three full stops and no digits
        {"1..2.3", false},
        {"1.2.3.", false},  // an empty group at either end, or inside
        {"1.2.3", false},
        {"1.2.3.4.5", false},
        {"256.0.0.1", false},
        {"127.0.0.1a", false},
        {"a.0.0.1", false},
        {"127 .0.0.1", false},  // the check itself removes nothing
        {"127.0.0.1\t", false},
        {kUtf8FullWidthOne + "27.0.0.1", false},
        {"127.0.0." + kCp932FullWidthZero, false},
        {"127.0.0.1\x80", false},
    };
    for (const AddressCase& c : cases) {
        std::vector<char> text = Terminated(c.text);
        EXPECT_EQ(IsDottedAddress(text.data()), c.dotted) << '"' << c.text << '"';
    }
    EXPECT_FALSE(IsDottedAddress(nullptr));
}

struct FieldCase {
    std::string field;
    std::string typed;  // typedAddress afterwards
    bool accepted;
};

TEST(TakeTypedAddress, KeepsTheBlankFreeTextOfTheFirst69CharactersAndJudgesIt) {
    const FieldCase cases[] = {
        {" 127 . 0. 0 .1 ", "127.0.0.1", true},
        {"127.0.0.1" + Blanks(60) + "5", "127.0.0.1", true},    // the tail is never read
        {"127.0.0.1" + Blanks(59) + "55", "127.0.0.15", true},  // only its first character
        {"127.0.0.1" + Blanks(59), "127.0.0.1", true},
        {"\t127.0.0.1", "\t127.0.0.1", false},
        {PaddedLoopback(67), PaddedLoopback(67), false},  // fits here, not in the endpoint
        {std::string(80, '7'), std::string(69, '7'), false},
        {Blanks(3), "", false},
        {"", "", false},
    };
    for (const FieldCase& c : cases) {
        std::fill(std::begin(typedAddress), std::end(typedAddress), 'X');  // an earlier attempt
        std::vector<char> field = Terminated(c.field);
        EXPECT_EQ(TakeTypedAddress(field.data()), c.accepted) << '"' << c.field << '"';
        EXPECT_EQ(std::string(typedAddress), c.typed) << '"' << c.field << '"';
    }
}

}  // namespace
