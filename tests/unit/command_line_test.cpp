#include "app/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/box_tiles.h"
#include "common/typed_address.h"
#include "transfer/decimal_address.h"

namespace {

// Byte strings of code page 932. Each is kept apart from what follows so that
// a hex escape never runs on into the next character.
const std::string kFirmJapanese = "\x83\x74\x83\x40\x81\x5B\x83\x80";  // ファーム
const std::string kHyou = "\x95\x5C";                                  // 表, trail byte '\'
const std::string kSo = "\x83\x5C";                                    // ソ, trail byte '\'
const std::string kA = "\x83\x41";                                     // ア, trail byte 'A'
const std::string kFullWidthF = "\x82\x65";                            // Ｆ
const std::string kFullWidthSmallF = "\x82\x86";                       // ｆ

// `text` as a UTF-16 file, its byte-order mark first, as Notepad's "Unicode"
// (little-endian) and "Unicode big endian" save it.
std::string Utf16File(const std::u16string& text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

struct ParseResult {
    bool complete;
    LaunchOptions options;
    std::string line;  // the command line as the parser left it
};

// Parses a copy held in a buffer of exactly its own size, so that the
// sanitizer reports any read past the terminator.
ParseResult Parse(const std::string& commandLine) {
    std::vector<char> text(commandLine.begin(), commandLine.end());
    text.push_back('\0');
    ParseResult result{};
    result.complete = ParseCommandLine(text.data(), result.options);
    result.line = text.data();
    return result;
}

std::string Skip(const std::string& fullCommandLine) {
    std::vector<char> text(fullCommandLine.begin(), fullCommandLine.end());
    text.push_back('\0');
    return SkipProgramName(text.data());
}

TEST(ParseCommandLine, RecognisesOptionsInAnyCaseAndStoresTheNameLowerCased) {
    const ParseResult result = Parse("/FM1:FIRM.BIN /TYPE_E2 /ChkOff");
    EXPECT_TRUE(result.complete);
    EXPECT_STREQ(result.options.firmwareName, "firm.bin");
    EXPECT_EQ(result.options.deviceKind, DeviceKind::E2);
    EXPECT_FALSE(result.options.probeEnabled);
    EXPECT_EQ(result.line, "/fm1:firm.bin /type_e2 /chkoff");
}

TEST(ParseCommandLine, KeepsTheProbeUnlessChkoffIsGiven) {
    const ParseResult result = Parse("/type_ap /fm1:firm.bin");
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(result.options.deviceKind, DeviceKind::Ap);
    EXPECT_TRUE(result.options.probeEnabled);
}

TEST(ParseCommandLine, QuotedNameKeepsBlanksAndRunsToTheClosingQuote) {
    EXPECT_STREQ(Parse("/fm1:\"My Firm.bin\" /type_ap").options.firmwareName, "my firm.bin");
    EXPECT_STREQ(Parse("/fm1:\"\" /type_ap").options.firmwareName, "");

    // Without a closing quote the name runs to the end of the line, and the
    // option inside it is still found.
    const ParseResult unclosed = Parse("/fm1:\"my firm.bin /type_ap");
    EXPECT_TRUE(unclosed.complete);
    EXPECT_STREQ(unclosed.options.firmwareName, "my firm.bin /type_ap");
    EXPECT_EQ(unclosed.options.deviceKind, DeviceKind::Ap);
}

TEST(ParseCommandLine, UnquotedNameEndsAtTheFirstBlankOrControlByte) {
    EXPECT_STREQ(Parse("/fm1:firm.bin /type_ap").options.firmwareName, "firm.bin");
    EXPECT_STREQ(Parse("/fm1:firm.bin\t/type_ap").options.firmwareName, "firm.bin");
    EXPECT_STREQ(Parse("/fm1:firm\x1F.bin /type_ap").options.firmwareName, "firm");
    EXPECT_STREQ(Parse("/fm1:firm\x01.bin /type_ap").options.firmwareName, "firm");
    // Quotes inside an unquoted name and bytes above the blank belong to it.
    EXPECT_STREQ(Parse("/fm1:fi\"rm!~\x7F /type_ap").options.firmwareName, "fi\"rm!~\x7F");
}

TEST(ParseCommandLine, FindsOptionsAsPlainSubstringsAnywhere) {
    // A name glued to the next option takes its text, and the option counts.
    const ParseResult glued = Parse("/fm1:firm.bin/type_e2/chkoff");
    EXPECT_TRUE(glued.complete);
    EXPECT_STREQ(glued.options.firmwareName, "firm.bin/type_e2/chkoff");
    EXPECT_EQ(glued.options.deviceKind, DeviceKind::E2);
    EXPECT_FALSE(glued.options.probeEnabled);

    // Inside other words, and only the first "/fm1:" counts.
    const ParseResult embedded = Parse("x/type_apx y/fm1:first /fm1:second");
    EXPECT_TRUE(embedded.complete);
    EXPECT_STREQ(embedded.options.firmwareName, "first");
    EXPECT_EQ(embedded.options.deviceKind, DeviceKind::Ap);
}

TEST(ParseCommandLine, ApWinsOverE2InEitherOrder) {
    EXPECT_EQ(Parse("/type_e2 /type_ap /fm1:x").options.deviceKind, DeviceKind::Ap);
    EXPECT_EQ(Parse("/type_ap /type_e2 /fm1:x").options.deviceKind, DeviceKind::Ap);
    EXPECT_EQ(Parse("/TYPE_E2 /Type_Ap /fm1:x").options.deviceKind, DeviceKind::Ap);
}

TEST(ParseCommandLine, EmptyNameStillCountsAsGiven) {
    const ParseResult blankAfter = Parse("/fm1: /type_ap");
    EXPECT_TRUE(blankAfter.complete);
    EXPECT_STREQ(blankAfter.options.firmwareName, "");

    const ParseResult atEnd = Parse("/type_e2 /fm1:");
    EXPECT_TRUE(atEnd.complete);
    EXPECT_STREQ(atEnd.options.firmwareName, "");
}

TEST(ParseCommandLine, IsIncompleteWithoutAKindOrWithoutTheName) {
    EXPECT_FALSE(Parse("").complete);
    EXPECT_FALSE(Parse("/type_ap").complete);
    EXPECT_FALSE(Parse("/type_ap /fm1 firm.bin").complete);
    EXPECT_FALSE(Parse("/type_ap fm1:firm.bin").complete);
    EXPECT_FALSE(Parse("/fm1:firm.bin").complete);
    EXPECT_FALSE(Parse("/fm1:firm.bin /type_ab /type_e /chkoff").complete);

    const ParseResult noKind = Parse("/fm1:firm.bin /chkoff");
    EXPECT_FALSE(noKind.complete);
    EXPECT_EQ(noKind.options.deviceKind, DeviceKind::None);
}

TEST(ParseCommandLine, TakesDoubleByteNamesWhole) {
    // ファーム表ソ.BIN: trail bytes '\' and a trail byte 'A' that must stay a
    // trail byte; a full-width capital is lower-cased like an ASCII one.
    const std::string name = kFirmJapanese + kHyou + kSo + kA + kFullWidthF + ".BIN";
    const ParseResult result = Parse("/type_ap /fm1:" + name + " /chkoff");
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(std::string(result.options.firmwareName),
              kFirmJapanese + kHyou + kSo + kA + kFullWidthSmallF + ".bin");
    EXPECT_FALSE(result.options.probeEnabled);

    const ParseResult quoted = Parse("/fm1:\"" + kHyou + " " + kSo + "\"/type_e2");
    EXPECT_EQ(std::string(quoted.options.firmwareName), kHyou + " " + kSo);
    EXPECT_EQ(quoted.options.deviceKind, DeviceKind::E2);
}

// No character of code page 932 has a trail byte of '"' or of a blank, but a
// lead byte takes whatever byte follows it. (Windows turns such a byte pair
// into another character while lower-casing, so the name is compared with
// the line as the parser left it.)
TEST(ParseCommandLine, ByteAfterALeadByteNeverEndsTheName) {
    for (const char trail : {'"', ' ', '\t', '\x01'}) {
        SCOPED_TRACE(static_cast<int>(trail));
        const std::string pair = std::string("\x81") + trail;

        const ParseResult quoted = Parse("/type_ap /fm1:\"a" + pair + "b\" /chkoff");
        ASSERT_TRUE(quoted.complete);
        const std::size_t quotedStart = quoted.line.find("/fm1:\"") + 6;
        EXPECT_EQ(std::string(quoted.options.firmwareName), quoted.line.substr(quotedStart, 4));
        EXPECT_EQ(quoted.line[quotedStart + 4], '"');

        const ParseResult unquoted = Parse("/type_ap /fm1:a" + pair + "b /chkoff");
        ASSERT_TRUE(unquoted.complete);
        const std::size_t unquotedStart = unquoted.line.find("/fm1:") + 5;
        EXPECT_EQ(std::string(unquoted.options.firmwareName),
                  unquoted.line.substr(unquotedStart, 4));
        EXPECT_EQ(unquoted.line[unquotedStart + 4], ' ');
    }
}

TEST(ParseCommandLine, LeadByteAtTheEndOfTheLineEndsTheName) {
    EXPECT_STREQ(Parse("/type_ap /fm1:ab\x81").options.firmwareName, "ab\x81");
    EXPECT_STREQ(Parse("/type_ap /fm1:\"ab\x81").options.firmwareName, "ab\x81");
    EXPECT_STREQ(Parse("/type_ap /fm1:\x81").options.firmwareName, "\x81");
}

TEST(ParseCommandLine, RefusesANameLongerThan259BytesInsteadOfCuttingIt) {
    const std::string longest(259, 'f');
    const ParseResult fits = Parse("/type_ap /fm1:" + longest + " /chkoff");
    EXPECT_TRUE(fits.complete);
    EXPECT_EQ(std::string(fits.options.firmwareName), longest);
    EXPECT_TRUE(Parse("/type_ap /fm1:\"" + longest + "\"").complete);

    const ParseResult tooLong = Parse("/type_ap /fm1:" + longest + "f");
    EXPECT_FALSE(tooLong.complete);
    EXPECT_STREQ(tooLong.options.firmwareName, "");
    EXPECT_FALSE(Parse("/type_ap /fm1:\"" + longest + "f").complete);
    EXPECT_FALSE(Parse("/fm1:" + std::string(5000, 'f') + " /type_e2").complete);

    // A double-byte character is never split to make the name fit.
    const ParseResult endsWhole = Parse("/type_ap /fm1:" + std::string(257, 'f') + kHyou);
    EXPECT_TRUE(endsWhole.complete);
    EXPECT_EQ(std::string(endsWhole.options.firmwareName), std::string(257, 'f') + kHyou);
    EXPECT_FALSE(Parse("/type_ap /fm1:" + std::string(258, 'f') + kHyou).complete);
}

TEST(ParseCommandLine, StartsEachCallFromTheDefaults) {
    LaunchOptions options;
    std::string first = "/type_ap /fm1:first.bin /chkoff";
    ASSERT_TRUE(ParseCommandLine(first.data(), options));

    std::string second = "/type_e2 /fm1:";
    EXPECT_TRUE(ParseCommandLine(second.data(), options));
    EXPECT_STREQ(options.firmwareName, "");
    EXPECT_EQ(options.deviceKind, DeviceKind::E2);
    EXPECT_TRUE(options.probeEnabled);

    std::string incomplete = "/chkoff";
    EXPECT_FALSE(ParseCommandLine(incomplete.data(), options));
    EXPECT_EQ(options.deviceKind, DeviceKind::None);
}

// "/ip:" runs the update with no one at the address dialog; its address is
// checked as the dialog checks a typed one, and one it would refuse ends the
// program with 8 before anything is shown or sent.
TEST(ReadCommandLine, TakesTheAddressOfIpAsTheDialogWouldOrRefusesIt) {
    constexpr std::uint32_t kNone = 0;
    const struct {
        std::string line;
        StartupVerdict verdict;
        std::uint32_t sentTo;  // what typedAddress then sends to
        bool quiet;
    } cases[] = {
        {"/fm1:f.bin /type_ap", StartupVerdict::Attended, kNone, false},
        {"/fm1:f.bin /type_ap /quiet", StartupVerdict::Attended, kNone, true},
        {"/fm1:f.bin /type_ap /ip:127.0.0.2", StartupVerdict::Unattended, 0x7F000002, false},
        {"/IP:127.0.0.2 /Type_E2 /FM1:F.BIN /QUIET", StartupVerdict::Unattended, 0x7F000002, true},
        // Leading zeros are decimal: 010 is ten, never eight.
        {"/fm1:f.bin /type_ap /ip:127.000.000.010", StartupVerdict::Unattended, 0x7F00000A, false},
        // Anywhere, as every option: here inside the name, which keeps it too.
        {"/type_ap /fm1:/ip:127.0.0.3", StartupVerdict::Unattended, 0x7F000003, false},
        {"/fm1:f.bin /type_ap /ip:", StartupVerdict::AddressRefused, kNone, false},
        {"/fm1:f.bin /type_ap /ip: 127.0.0.2", StartupVerdict::AddressRefused, kNone, false},
        {"/fm1:f.bin /type_ap /ip:127.0.0.256", StartupVerdict::AddressRefused, kNone, false},
        {"/fm1:f.bin /type_ap /ip:127.0.0.2x", StartupVerdict::AddressRefused, kNone, false},
        {"/fm1:f.bin /type_ap /ip:127.0.0.2/chkoff", StartupVerdict::AddressRefused, kNone, false},
        {"/fm1:f.bin /type_ap /ip:127.0.0.\x82\x51", StartupVerdict::AddressRefused, kNone,
         false},  // a full-width 2
        {"/fm1:f.bin /type_ap /ip:127.0.0.?", StartupVerdict::AddressRefused, kNone,
         false},  // what a code page without full-width digits makes of one
        {"/fm1:f.bin /type_ap /ip:127.0.0." + std::string(60, '0') + "2",
         StartupVerdict::AddressRefused, kNone, false},  // longer than the endpoint holds
        {"/fm1:f.bin /type_ap /ip:127.0.0.1" + std::string(80, '0'), StartupVerdict::AddressRefused,
         kNone, false},
        // An incomplete line is -1 first, whatever its address.
        {"/type_ap /ip:127.0.0.2", StartupVerdict::Incomplete, kNone, false},
        {"/fm1:f.bin /ip:256.0.0.1", StartupVerdict::Incomplete, kNone, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        std::vector<char> text(c.line.begin(), c.line.end());
        text.push_back('\0');
        LaunchOptions options;
        std::snprintf(typedAddress, sizeof typedAddress, "%s", "stale");
        EXPECT_EQ(ReadCommandLine(text.data(), options), c.verdict);
        EXPECT_EQ(options.quiet, c.quiet);
        std::uint32_t sentTo = kNone;
        EXPECT_EQ(ParseDecimalAddress(typedAddress, &sentTo), c.sentTo != kNone);
        EXPECT_EQ(sentTo, c.sentTo);
    }
}

// "/ip:" with several addresses, joined by commas or one a line in a file
// beside the program: every one is checked before any box is started, and
// one refused, a device named twice, none, or more than a screen of boxes
// refuses them all. A list of one is that address, updated as ever.
TEST(ReadCommandLine, TakesAListOfAddressesWholeOrRefusesItWhole) {
    const std::string box64 = "127.0.0.64";
    std::string sixtyFour;
    std::string sixtyFive;
    for (int box = 1; box <= 65; ++box) {
        (box <= 64 ? sixtyFour : sixtyFive) += "127.0.0." + std::to_string(box) + "\n";
    }
    sixtyFive = sixtyFour + sixtyFive;
    const struct {
        std::string line;
        std::string file;  // what "boxes.txt" holds; "-" when it cannot be read
        StartupVerdict verdict;
        std::vector<std::string> boxes;
        std::uint32_t sentTo;  // typedAddress of a list of one
    } cases[] = {
        {"/ip:127.0.0.1,127.0.0.2,127.0.0.3",
         "-",
         StartupVerdict::UnattendedList,
         {"127.0.0.1", "127.0.0.2", "127.0.0.3"},
         0},
        {"/ip:127.0.0.3,127.0.0.1",
         "-",
         StartupVerdict::UnattendedList,
         {"127.0.0.3", "127.0.0.1"},
         0},
        {"/ip:127.0.0.1,127.0.0.256", "-", StartupVerdict::AddressRefused, {}, 0},
        {"/ip:127.0.0.1,", "-", StartupVerdict::AddressRefused, {}, 0},
        {"/ip:,127.0.0.1", "-", StartupVerdict::AddressRefused, {}, 0},
        // One device named twice, however it is written.
        {"/ip:127.0.0.1,127.0.0.2,127.000.000.001", "-", StartupVerdict::AddressRefused, {}, 0},
        {"/ip:@boxes.txt",
         "\xEF\xBB\xBF# row 1\r\n127.0.0.1\r\n\r\n  127.0.0.2 \t\r\n#127.0.0.9\r\n",
         StartupVerdict::UnattendedList,
         {"127.0.0.1", "127.0.0.2"},
         0},
        {"/ip:@\"my boxes.txt\" /quiet",
         "127.0.0.1\n127.0.0.2",
         StartupVerdict::UnattendedList,
         {"127.0.0.1", "127.0.0.2"},
         0},
        {"/ip:@" + kFirmJapanese + ".txt",
         "127.0.0.1\n127.0.0.2",
         StartupVerdict::UnattendedList,
         {"127.0.0.1", "127.0.0.2"},
         0},
        // A NUL would end the line early, where the dialog could never see one.
        {"/ip:@boxes.txt",
         std::string("127.0.0.1\n127.0.0.2\0junk\n", 25),
         StartupVerdict::AddressRefused,
         {},
         0},
        {"/ip:@boxes.txt",
         "127.0.0.1\n127.0.0.2 # shelf 2\n",
         StartupVerdict::AddressRefused,
         {},
         0},
        {"/ip:@boxes.txt", "127.0.0.1\n127.0.0.1\n", StartupVerdict::AddressRefused, {}, 0},
        {"/ip:@boxes.txt", "# none yet\n\n", StartupVerdict::AddressRefused, {}, 0},
        {"/ip:@boxes.txt", "-", StartupVerdict::AddressRefused, {}, 0},
        {"/ip:@", "-", StartupVerdict::AddressRefused, {}, 0},
        // Notepad's "Unicode", either byte order, and the Ctrl-Z that
        // "copy /a" puts at the end: read as the same addresses.
        {"/ip:@boxes.txt",
         Utf16File(u"# 棚 2\r\n127.0.0.1\r\n 127.0.0.2\r\n", false),
         StartupVerdict::UnattendedList,
         {"127.0.0.1", "127.0.0.2"},
         0},
        {"/ip:@boxes.txt",
         Utf16File(u"127.0.0.1\r\n# 棚\r\n127.0.0.2\x1A", true),
         StartupVerdict::UnattendedList,
         {"127.0.0.1", "127.0.0.2"},
         0},
        {"/ip:@boxes.txt",
         "127.0.0.1\r\n127.0.0.2\r\n\x1A",
         StartupVerdict::UnattendedList,
         {"127.0.0.1", "127.0.0.2"},
         0},
        // Not an address in any encoding: a full-width digit (U+FF11), a
        // UTF-16 file cut short, a Ctrl-Z before the end.
        {"/ip:@boxes.txt",
         Utf16File(u"127.0.0.1\r\n127.0.0.\uFF11\r\n", false),
         StartupVerdict::AddressRefused,
         {},
         0},
        {"/ip:@boxes.txt",
         Utf16File(u"127.0.0.1\r\n127.0.0.2", false) + "\n",
         StartupVerdict::AddressRefused,
         {},
         0},
        {"/ip:@boxes.txt", "127.0.0.1\x1A\r\n127.0.0.2\r\n", StartupVerdict::AddressRefused, {}, 0},
        {"/ip:@boxes.txt", sixtyFive, StartupVerdict::AddressRefused, {}, 0},
        {"/ip:@boxes.txt", "127.0.0.7\n", StartupVerdict::Unattended, {}, 0x7F000007},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        LaunchOptions options;
        std::snprintf(typedAddress, sizeof typedAddress, "%s", "stale");
        std::string asked;
        const auto readFile = [&](const std::string& name, std::string& contents) {
            asked = name;
            contents = c.file;
            return c.file != "-";
        };
        const std::string fullLine = "/fm1:f.bin /type_ap " + c.line;
        std::vector<char> full(fullLine.begin(), fullLine.end());
        full.push_back('\0');
        EXPECT_EQ(ReadCommandLine(full.data(), options, readFile), c.verdict);
        EXPECT_EQ(options.boxAddresses, c.boxes);
        // The name after "@", without its quotes, or up to the next blank.
        const std::size_t at = c.line.find('@');
        if (at != std::string::npos && c.line != "/ip:@") {
            const bool quoted = c.line[at + 1] == '"';
            const std::size_t from = at + (quoted ? 2 : 1);
            EXPECT_EQ(asked, c.line.substr(from, c.line.find(quoted ? '"' : ' ', from) - from));
        }
        std::uint32_t sentTo = 0;
        EXPECT_EQ(ParseDecimalAddress(typedAddress, &sentTo), c.sentTo != 0);
        EXPECT_EQ(sentTo, c.sentTo);
    }
    LaunchOptions options;
    std::string all = "/fm1:f.bin /type_ap /ip:@boxes.txt";
    const auto sixtyFourBoxes = [&](const std::string&, std::string& contents) {
        contents = sixtyFour;
        return true;
    };
    EXPECT_EQ(ReadCommandLine(all.data(), options, sixtyFourBoxes), StartupVerdict::UnattendedList);
    ASSERT_EQ(options.boxAddresses.size(), 64u);
    EXPECT_EQ(options.boxAddresses.back(), box64);
}

// Each process of a run of several boxes is told which it is by "/box:I/N"
// put before the line it was given, whose own "/ip:" list then no longer
// counts, and by "/report:H" the handle through which it tells its outcome.
TEST(ReadCommandLine, ABoxOfARunOfSeveralTakesItsOwnAddressPlaceAndChannel) {
    const struct {
        std::string line;
        StartupVerdict verdict;
        int number, count;
        std::uint32_t report;
    } cases[] = {
        {"/ip:127.0.0.2 /box:2/3 /report:1234 /fm1:f.bin /type_ap "
         "/ip:127.0.0.1,127.0.0.2,127.0.0.3",
         StartupVerdict::Unattended, 2, 3, 1234},
        {"/ip:127.0.0.2 /box:64/64 /report:4294967295 /fm1:f.bin /type_ap",
         StartupVerdict::Unattended, 64, 64, 0xFFFFFFFF},
        {"/ip:127.0.0.2 /box:1/2 /report:4294967296 /fm1:f.bin /type_ap",
         StartupVerdict::Unattended, 1, 2, 0},
        {"/ip:127.0.0.2 /box:1/2 /report:12x /fm1:f.bin /type_ap", StartupVerdict::Unattended, 1, 2,
         0},
        {"/ip:127.0.0.2 /box:1/2 /report: /fm1:f.bin /type_ap", StartupVerdict::Unattended, 1, 2,
         0},
        {"/ip:127.0.0.2 /box:3/2 /report:8 /fm1:f.bin /type_ap", StartupVerdict::Unattended, 0, 0,
         0},
        {"/ip:127.0.0.2 /box:0/2 /fm1:f.bin /type_ap", StartupVerdict::Unattended, 0, 0, 0},
        {"/ip:127.0.0.2 /box:1/65 /fm1:f.bin /type_ap", StartupVerdict::Unattended, 0, 0, 0},
        {"/ip:127.0.0.2 /box:1/2x /fm1:f.bin /type_ap", StartupVerdict::Unattended, 0, 0, 0},
        {"/ip:127.0.0.2 /box:+1/2 /fm1:f.bin /type_ap", StartupVerdict::Unattended, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        std::vector<char> text(c.line.begin(), c.line.end());
        text.push_back('\0');
        LaunchOptions options;
        EXPECT_EQ(ReadCommandLine(text.data(), options), c.verdict);
        EXPECT_EQ(options.boxNumber, c.number);
        EXPECT_EQ(options.boxCount, c.count);
        EXPECT_EQ(options.boxReport, c.report);
        EXPECT_STREQ(typedAddress, "127.0.0.2");
    }
    // Only a process updating one box is told which box it is, and has a
    // starter to tell.
    for (std::string line : {"/box:1/2 /report:8 /fm1:f.bin /type_ap",
                             "/box:1/2 /report:8 /fm1:f.bin /type_ap /ip:127.0.0.1,127.0.0.2",
                             "/report:8 /fm1:f.bin /type_ap /ip:127.0.0.1"}) {
        LaunchOptions options;
        ReadCommandLine(line.data(), options,
                        [](const std::string&, std::string&) { return false; });
        EXPECT_EQ(options.boxCount, 0) << line;
        EXPECT_EQ(options.boxReport, 0u) << line;
    }
}

// Box I of N takes its own tile: on a screen that holds them, no two windows
// of a run overlap and each lies inside the work area; past a screenful the
// next round is offset, so that no window lies exactly on another.
TEST(BoxTileOrigin, GivesEveryBoxOfARunAPlaceOfItsOwn) {
    const struct {
        TileArea area;
        int width, height, boxes;
    } cases[] = {
        {{0, 0, 1920, 1040}, 330, 140, 20},    // a full-HD screen, twenty boxes
        {{100, 30, 1000, 700}, 330, 140, 15},  // a taskbar on the left and at the top
        {{0, 0, 800, 560}, 330, 140, 64},      // more than a screenful: rounds
        {{0, 0, 200, 100}, 330, 140, 3},       // a screen smaller than one window
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.boxes);
        const int perRound =
            std::max(1, c.area.width / c.width) * std::max(1, c.area.height / c.height);
        std::vector<TileOrigin> placed;
        for (int box = 1; box <= c.boxes; ++box) {
            const TileOrigin origin = BoxTileOrigin(c.area, c.width, c.height, box);
            EXPECT_GE(origin.x, c.area.left);
            EXPECT_GE(origin.y, c.area.top);
            for (std::size_t other = 0; other < placed.size(); ++other) {
                const bool sameRound = static_cast<int>(other) / perRound == (box - 1) / perRound;
                const bool overlap = std::abs(placed[other].x - origin.x) < c.width &&
                                     std::abs(placed[other].y - origin.y) < c.height;
                EXPECT_FALSE(sameRound && overlap) << "boxes " << other + 1 << " and " << box;
                EXPECT_FALSE(placed[other].x == origin.x && placed[other].y == origin.y)
                    << "boxes " << other + 1 << " and " << box;
            }
            if (box <= perRound && c.area.width >= c.width && c.area.height >= c.height) {
                EXPECT_LE(origin.x + c.width, c.area.left + c.area.width);
                EXPECT_LE(origin.y + c.height, c.area.top + c.area.height);
            }
            placed.push_back(origin);
        }
    }
}

TEST(SkipProgramName, UnquotedNameRunsToTheFirstBlankOrControlByte) {
    EXPECT_EQ(Skip("EthBoxVup.exe /fm1:x /type_ap"), "/fm1:x /type_ap");
    EXPECT_EQ(Skip("EthBoxVup.exe\t/fm1:x"), "/fm1:x");
    EXPECT_EQ(Skip("EthBoxVup\x01.exe /fm1:x"), ".exe /fm1:x");
    EXPECT_EQ(Skip("Eth\"Box Vup\" x"), "Vup\" x");
    // Bytes above 0x7F belong to the name.
    EXPECT_EQ(Skip("Eth\x81\xFF"
                   "Box /fm1:x"),
              "/fm1:x");
    EXPECT_EQ(Skip("EthBoxVup.exe"), "");
    EXPECT_EQ(Skip("EthBoxVup.exe   "), "");
}

TEST(SkipProgramName, QuotedNameRunsToTheClosingQuoteWhichIsDropped) {
    EXPECT_EQ(Skip("\"C:\\Program Files\\Eth Box\\EthBoxVup.exe\" /fm1:x"), "/fm1:x");
    EXPECT_EQ(Skip("\"EthBoxVup.exe\"/fm1:x"), "/fm1:x");
    EXPECT_EQ(Skip("\"EthBoxVup.exe\""), "");
    EXPECT_EQ(Skip("\"EthBoxVup.exe /fm1:x"), "");
    EXPECT_EQ(Skip("\"\" /fm1:x"), "/fm1:x");
}

TEST(SkipProgramName, QuotedNameStepsOverDoubleByteCharacters) {
    EXPECT_EQ(Skip("\"C:\\" + kHyou + "\\" + kSo + ".exe\" /fm1:x"), "/fm1:x");
    // The byte after a lead byte is never taken for the closing quote.
    EXPECT_EQ(Skip("\"a\x81\"b\" /fm1:x"), "/fm1:x");
    EXPECT_EQ(Skip("\"ab\x81"), "");
    EXPECT_EQ(Skip("\"ab\x81\""), "");
}

TEST(SkipProgramName, SkipsEveryBlankAndControlByteAfterTheName) {
    EXPECT_EQ(Skip("EthBoxVup.exe \t\r\n\x01\x1F /fm1:x"), "/fm1:x");
    EXPECT_EQ(Skip("\"EthBoxVup.exe\" \t\x02/fm1:x"), "/fm1:x");
    EXPECT_EQ(Skip("EthBoxVup.exe !x"), "!x");
    EXPECT_EQ(Skip("EthBoxVup.exe \x80x"), "\x80x");
    EXPECT_EQ(Skip("EthBoxVup.exe \x81\x40"), "\x81\x40");
}

}  // namespace
