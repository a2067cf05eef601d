#pragma once

#include <cstddef>
#include <cstdint>

// The device kind is one byte on the wire of our own data model: the probe
// reports the device's kind in the same coding as the command line chooses it.
enum class DeviceKind : std::uint8_t { None = 0, Ap = 1, E2 = 2 };

constexpr std::size_t kFirmwareNameSize = 260;  // 259 bytes of text and the terminator
constexpr std::size_t kAddressOptionSize = 70;  // as much as the address dialog reads

// What the command line asked for, filled once before any window exists.
struct LaunchOptions {
    char firmwareName[kFirmwareNameSize] = {};  // code page 932, lower-cased
    DeviceKind deviceKind = DeviceKind::None;
    bool probeEnabled = true;  // cleared by "/chkoff"
    // "/ip:": the update runs at once, with no address dialog, and the
    // process ends with it. The text is as given, not yet checked.
    bool addressGiven = false;
    char addressText[kAddressOptionSize] = {};
    bool quiet = false;  // "/quiet": no message box in such a run
};

// The process-wide instance, written by the entry point only.
extern LaunchOptions launchOptions;
