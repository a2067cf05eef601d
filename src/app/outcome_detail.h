#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "common/update_outcome.h"

// The record's detail of an outcome: what was observed, in the short texts of
// DetailText with their numbers filled in. Text that came from the device is
// made fit to show first (DeviceTextFitToShow). UTF-8, one line.
std::string DescribeOutcome(const UpdateOutcome& outcome);

// What the message box of `outcome` says: the message as it stands, then,
// but for a completed update, an empty line and the detail under it.
std::string MessageWithDetail(const UpdateOutcome& outcome);

// Text a device sent, made harmless: every byte that is not printable ASCII
// (control characters, and bytes a TFTP message should not hold) becomes "?",
// and no more than kDeviceTextBytes characters are kept.
std::string DeviceTextFitToShow(const char* text);

// `pattern` with %1 to %9 replaced by the values in order (a number past
// them, or any other "%", stays as it is).
std::string FillText(const char* pattern, std::initializer_list<std::string> values);

// A process's exit status as a person reads it: small ones in decimal, and
// the codes of a crash (0xC0000005) or of -1 in hexadecimal.
std::string ExitStatusText(std::uint32_t status);

// The detail of a box whose process ended without telling its outcome, for
// its record line and its summary line.
std::string NoOutcomeDetail(std::uint32_t exitStatus);
