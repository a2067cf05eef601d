#include "app/record_line.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "app/outcome_detail.h"
#include "common/ui_texts.h"
#include "transfer/decimal_address.h"

namespace {

constexpr char kLineEnd[] = "\r\n";

std::string FirstLine(const char* text) {
    const std::string whole = text;
    return whole.substr(0, whole.find('\n'));
}

std::string DottedDecimal(const char* typedAddress) {
    std::uint32_t address = 0;
    if (!ParseDecimalAddress(typedAddress, &address)) {
        return {};
    }
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        text += std::to_string((address >> shift) & 0xFFu) + (shift > 0 ? "." : "");
    }
    return text;
}

std::string Tenths(std::int64_t tenths) {
    if (tenths < 0) {
        tenths = 0;
    }
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

// Control characters (C0, DEL, and C1 as UTF-8 writes it), each as "?".
std::string WithoutControls(const std::string& text) {
    std::string plain;
    for (std::size_t index = 0; index < text.size(); ++index) {
        const auto unit = static_cast<unsigned char>(text[index]);
        const bool c1 = unit == 0xC2 && index + 1 < text.size() &&
                        static_cast<unsigned char>(text[index + 1]) < 0xA0 &&
                        static_cast<unsigned char>(text[index + 1]) >= 0x80;
        if (unit < 0x20 || unit == 0x7F || c1) {
            plain += '?';
            index += c1 ? 1 : 0;
        } else {
            plain += text[index];
        }
    }
    return plain;
}

// Whether a spreadsheet would take `text` for a formula: its first character
// after any blanks (ASCII or U+3000) is = + - @ or one of their full-width
// forms.
bool StartsAFormula(const std::string& text) {
    std::size_t at = 0;
    for (std::size_t blank = 1; blank > 0; at += blank) {
        blank = text.compare(at, 1, " ") == 0 ? 1 : text.compare(at, 3, "　") == 0 ? 3 : 0;
    }
    for (const std::string_view start : {"=", "+", "-", "@", "＝", "＋", "－", "＠"}) {
        if (text.compare(at, start.size(), start) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string CsvField(const std::string& text) {
    const std::string plain = WithoutControls(text);
    std::string inert = StartsAFormula(plain) ? "'" + plain : plain;
    if (inert.find_first_of(",\"") == std::string::npos) {
        return inert;
    }
    std::string quoted = "\"";
    for (const char c : inert) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

std::string Iso8601(const LocalTime& time) {
    const int offset = std::abs(time.utcOffsetMinutes);
    char text[32];
    const int length =
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", time.year,
                      time.month, time.day, time.hour, time.minute, time.second,
                      time.utcOffsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    return length > 0 ? std::string(text) : std::string();
}

std::string RecordHeaderLine() {
    return std::string(kRecordHeader) + kLineEnd;
}

std::string RecordLine(const UpdateRecord& record) {
    const UpdateOutcome& outcome = record.outcome;
    const bool known = record.outcomeKnown;
    // A failing provider leaves both empty, as an unreadable file does.
    const bool imageLoaded = known && outcome.imageLength > 0 && !record.imageSha256.empty();
    const std::string fields[] = {
        Iso8601(record.endedAt),
        std::to_string(known ? OutcomeCode(outcome) : kExitNoOutcome),
        known ? FirstLine(MessageText(outcome.message)) : std::string(),  // none was shown
        known ? DescribeOutcome(outcome) : NoOutcomeDetail(record.exitStatus),
        DottedDecimal(record.typedAddress),
        record.deviceKind == DeviceKind::Ap ? "ap" : "e2",
        record.probeEnabled ? "on" : "off",
        record.firmwareName,
        imageLoaded ? std::to_string(outcome.imageLength) : std::string(),
        imageLoaded ? record.imageSha256 : std::string(),
        Tenths(record.tenthsFromStart),
        record.version,
        record.computerName,
    };
    std::string line = CsvField(fields[0]);
    for (std::size_t column = 1; column < sizeof fields / sizeof fields[0]; ++column) {
        line += ',' + CsvField(fields[column]);
    }
    return line + kLineEnd;
}
