#pragma once

#include <cstddef>
#include <cstdint>

// The device kind is one byte on the wire of our own data model: the probe
// reports the device's kind in the same coding as the command line chooses it.
enum class DeviceKind : std::uint8_t { None = 0, Ap = 1, E2 = 2 };

constexpr std::size_t kFirmwareNameSize = 260;  // 259 bytes of text and the terminator

// What the command line asked for, filled once before any window exists.
struct LaunchOptions {
    char firmwareName[kFirmwareNameSize] = {};  // code page 932, lower-cased
    DeviceKind deviceKind = DeviceKind::None;
    bool probeEnabled = true;  // cleared by "/chkoff"
};

// The process-wide instance, written by the entry point only.
extern LaunchOptions launchOptions;
