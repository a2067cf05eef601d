#include "app/record_line.h"

#include <cstdio>
#include <cstdlib>

#include "app/outcome_detail.h"
#include "common/sha256.h"
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

bool StartsAFormula(const std::string& text) {
    if (text.empty()) {
        return false;
    }
    switch (text[0]) {
        case '=':
        case '+':
        case '-':
        case '@':
        case '\t':
        case '\r':
            return true;
        default:
            return false;
    }
}

}  // namespace

std::string CsvField(const std::string& text) {
    std::string inert = StartsAFormula(text) ? "'" + text : text;
    if (inert.find_first_of(",\"\r\n") == std::string::npos) {
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
    const bool imageLoaded = outcome.imageLength > 0 && record.image != nullptr;
    const std::string fields[] = {
        Iso8601(record.endedAt),
        std::to_string(OutcomeCode(outcome.message)),
        FirstLine(MessageText(outcome.message)),
        DescribeOutcome(outcome),
        DottedDecimal(record.typedAddress),
        record.deviceKind == DeviceKind::Ap ? "ap" : "e2",
        record.probeEnabled ? "on" : "off",
        record.firmwareName,
        imageLoaded ? std::to_string(outcome.imageLength) : std::string(),
        imageLoaded ? Sha256Hex(record.image, static_cast<std::size_t>(outcome.imageLength))
                    : std::string(),
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
