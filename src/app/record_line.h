#pragma once

#include <cstdint>
#include <string>

#include "common/launch_options.h"
#include "common/update_outcome.h"

// One attempt, as one line of the update record (EthBoxVup-log.csv): CSV as
// RFC 4180 has it and a spreadsheet on a Japanese Windows reads it, UTF-8,
// each line ended by CRLF.

// A moment of local time, and how far local time is ahead of UTC.
struct LocalTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int utcOffsetMinutes = 0;
};

// Everything one line tells, as the shell and the sequencer know it.
struct UpdateRecord {
    LocalTime endedAt;
    UpdateOutcome outcome;
    const char* typedAddress = "";  // as the endpoint reads it before each send
    DeviceKind deviceKind = DeviceKind::None;
    bool probeEnabled = true;
    std::string firmwareName;          // UTF-8, as given on the command line
    std::string imageSha256;           // the loaded image's; empty when the provider failed
    std::int64_t tenthsFromStart = 0;  // from 開始 to the outcome
    std::string version;               // the program's version and its architecture
    std::string computerName;          // UTF-8
    // False for a box of several whose process ended without telling its
    // outcome: `outcome` is then none, the line says so with kExitNoOutcome
    // and the process's exit status, and no image is named.
    bool outcomeKnown = true;
    std::uint32_t exitStatus = 0;
};

// The header row, ended by CRLF; the byte-order mark is the file's, not its.
std::string RecordHeaderLine();

// The 13 fields of `record`, ended by CRLF.
std::string RecordLine(const UpdateRecord& record);

// One field: each control character (a line break and a tab included) becomes
// "?"; one that a spreadsheet would take for a formula (after any blanks,
// ASCII or U+3000, it begins with = + - @ or their full-width forms
// ＝ ＋ － ＠) gets a leading apostrophe, which makes it text; one that holds a
// comma or a double quote is quoted, with its double quotes doubled.
std::string CsvField(const std::string& text);

// ISO 8601 with the offset from UTC: 2026-12-08T11:04:44+09:00.
std::string Iso8601(const LocalTime& time);
