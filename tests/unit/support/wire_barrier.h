#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "device_simulator.h"
#include "sim_socket.h"
#include "support/raw_udp_peer.h"

// Tells when a simulator has logged everything sent to it so far, with marker
// datagrams: loopback keeps the order of datagrams, and the simulator drains
// every readable socket in one round, so once a second marker is logged the
// round that saw the first, and whatever was queued with it, is over. Built
// on the simulator's own sockets (a RawUdpPeer), so it leans on nothing of
// the updater's.
class WireBarrier {
  public:
    // Markers go out from an unused port of `from`.
    explicit WireBarrier(const char* from) : peer_(AddressOf(from)) { EXPECT_TRUE(peer_.ok()); }

    // The log of `sim`, listening at `address`, once everything sent to it so
    // far is in it; the markers are left out.
    std::vector<LogEntry> SettledLog(const RunningSimulator& sim, const char* address) {
        const std::uint32_t target = AddressOf(address);
        for (std::uint8_t round = 0; round < 2; ++round) {
            const std::vector<std::uint8_t> marker = {0, 0x7F, 'e', 'n', 'd', round};
            peer_.SendTo(sim.Port(), marker, target);
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!Logged(sim, marker)) {
                if (std::chrono::steady_clock::now() > giveUp) {
                    ADD_FAILURE() << address << " never logged the marker";
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        // The simulator refuses a marker as a malformed request: drop its answers.
        while (peer_.Receive(0).received) {
        }
        std::vector<LogEntry> log;
        for (const LogEntry& entry : sim.Log()) {
            if (!IsMarker(entry)) {
                log.push_back(entry);
            }
        }
        return log;
    }

  private:
    static std::uint32_t AddressOf(const char* text) {
        std::uint32_t address = 0;
        EXPECT_TRUE(ethbox_sim::ParseSimAddress(text, &address)) << text;
        return address;
    }
    static bool IsMarker(const LogEntry& entry) {
        return !entry.sent && entry.bytes.size() == 6 && entry.bytes[1] == 0x7F &&
               entry.bytes[2] == 'e' && entry.bytes[3] == 'n' && entry.bytes[4] == 'd';
    }
    static bool Logged(const RunningSimulator& sim, const std::vector<std::uint8_t>& marker) {
        for (const LogEntry& entry : sim.Log()) {
            if (!entry.sent && entry.bytes == marker) {
                return true;
            }
        }
        return false;
    }

    RawUdpPeer peer_;
};
