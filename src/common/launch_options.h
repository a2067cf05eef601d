#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The device kind is one byte on the wire of our own data model: the probe
// reports the device's kind in the same coding as the command line chooses it.
enum class DeviceKind : std::uint8_t { None = 0, Ap = 1, E2 = 2 };

constexpr std::size_t kFirmwareNameSize = 260;  // 259 bytes of text and the terminator

// What the command line asked for, filled once before any window exists.
struct LaunchOptions {
    char firmwareName[kFirmwareNameSize] = {};  // code page 932, lower-cased
    DeviceKind deviceKind = DeviceKind::None;
    bool probeEnabled = true;  // cleared by "/chkoff"
    // "/ip:": the update runs at once, with no address dialog, and the
    // process ends with it. The text is as given (up to the next blank, or a
    // quoted file name whole), not yet checked.
    bool addressGiven = false;
    std::string addressText;
    bool quiet = false;  // "/quiet": no message box in such a run
    // Several boxes: the checked addresses, each updated by a process of its
    // own, which is told by "/box:I/N" that it is box I of N (its window's
    // place and title). 0 of 0 in every other run.
    std::vector<std::string> boxAddresses;
    int boxNumber = 0;
    int boxCount = 0;
    // "/report:H", beside "/box:I/N": the handle, inherited from the process
    // that started the box, through which the box tells it its outcome. 0 in
    // every other run.
    std::uint32_t boxReport = 0;
};

// The process-wide instance, written by the entry point only.
extern LaunchOptions launchOptions;
