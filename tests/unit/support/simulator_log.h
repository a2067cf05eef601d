#pragma once

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "device_simulator.h"

// Reading the simulated device's wire log: what it received from us and what
// it sent, with exact bytes and ports.

inline int LoggedOpcode(const LogEntry& entry) {
    return entry.bytes.size() >= 2 ? entry.bytes[1] : -1;
}

inline int LoggedNumber(const LogEntry& entry) {
    return entry.bytes.size() >= 4 ? entry.bytes[2] * 256 + entry.bytes[3] : -1;
}

// The datagrams the device received (sent == false) or sent (sent == true).
inline std::vector<LogEntry> LoggedDatagrams(const RunningSimulator& sim, bool sentByDevice) {
    std::vector<LogEntry> picked;
    for (const LogEntry& entry : sim.Log()) {
        if (entry.sent == sentByDevice) {
            picked.push_back(entry);
        }
    }
    return picked;
}

// The device logs a datagram when its own thread gets to it: wait until it
// has logged `count` datagrams of the kind asked for, or the time is up.
inline bool WaitUntilLogged(const RunningSimulator& sim, bool sentByDevice, std::size_t count,
                            int timeoutMs = 3000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (LoggedDatagrams(sim, sentByDevice).size() < count) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

inline bool WaitUntilDeviceReceived(const RunningSimulator& sim, std::size_t count) {
    return WaitUntilLogged(sim, false, count);
}
