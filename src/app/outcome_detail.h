#pragma once

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
