// The random-fault campaign, natively: many whole updates of the sequencer
// with a recording window against the simulated device, each with a launch,
// an image and faulty answers drawn from a seeded generator, each checked
// against what its faults call for.
//
//   ETHBOX_CAMPAIGN_SEED=N  another seed (the fixed one below otherwise)
//   ETHBOX_CAMPAIGN_RUNS=N  another number of runs
//   ETHBOX_CAMPAIGN_RUN=I   only run I of the seed, to replay a failure

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "common/launch_options.h"
#include "device_simulator.h"
#include "fault_plan.h"
#include "platform/sha256.h"
#include "sequencer/update_sequencer.h"
#include "support/endpoint_fixture.h"
#include "support/firmware_file.h"
#include "support/recording_window.h"
#include "support/run_watchdog.h"
#include "support/simulator_log.h"
#include "support/wire_barrier.h"
#include "transfer/tftp_endpoint.h"

namespace {

using Clock = std::chrono::steady_clock;
using fault_campaign::Outcome;
using fault_campaign::RunPlan;

constexpr std::uint64_t kFixedSeed = 7001;
constexpr int kRuns = 240;

// The device listens here only; a sentinel at the same port of kElsewhere
// catches whatever is sent to loopback's usual address instead.
constexpr char kDeviceAddress[] = "127.0.0.2";
constexpr char kElsewhere[] = "127.0.0.1";

// More ticks than the largest image with every probe retry needs.
constexpr int kTickLimit = 1000;
// A run takes a few seconds at most (each time-out costs one): far beyond
// this, it hangs.
constexpr auto kHangAfter = std::chrono::seconds(60);

long EnvironmentNumber(const char* name, long otherwise) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtol(text, nullptr, 0) : otherwise;
}

// What the wire says of one run, read from the device's log: no DATA block
// twice (the updater never resends), and each datagram to a transfer port
// sent to the port that the answer it answers came from: DATA n to that of
// ACK n - 1, the probe's ACK n to that of DATA n, its ERROR to that of the
// latest DATA. (The log is in the
// order the device handled things, which across its ports need not be the
// order they were sent in; within one exchange it is.)
void CheckWire(const std::vector<LogEntry>& log, std::uint16_t requestPort) {
    constexpr int kData = 3;
    constexpr int kAck = 4;
    constexpr int kError = 5;
    std::map<int, int> dataBlocks;
    std::map<int, std::uint16_t> ackPorts;   // by block: where the device sent its latest ACK
    std::map<int, std::uint16_t> dataPorts;  // and its latest DATA
    std::uint16_t dataPort = 0;              // where it sent its latest DATA of any block
    for (const LogEntry& entry : log) {
        const int opcode = LoggedOpcode(entry);
        if (entry.sent) {
            if (opcode == kAck) {
                ackPorts[LoggedNumber(entry)] = entry.localPort;
            } else if (opcode == kData) {
                dataPorts[LoggedNumber(entry)] = entry.localPort;
                dataPort = entry.localPort;
            }
            continue;
        }
        if (opcode == kData && ++dataBlocks[LoggedNumber(entry)] == 2) {
            ADD_FAILURE() << "DATA block " << LoggedNumber(entry) << " sent twice";
        }
        if (entry.localPort == requestPort) {
            continue;
        }
        const int number = LoggedNumber(entry);
        auto sentFrom = [&entry](const std::map<int, std::uint16_t>& ports, int block) {
            const auto port = ports.find(block);
            return port != ports.end() && port->second == entry.localPort;
        };
        const bool answered = (opcode == kData && sentFrom(ackPorts, number - 1)) ||
                              (opcode == kAck && sentFrom(dataPorts, number)) ||
                              (opcode == kError && dataPort == entry.localPort);
        if (!answered) {
            ADD_FAILURE() << "\"" << entry.line
                          << "\" went elsewhere than where the answer it answers came from";
        }
    }
}

struct Observed {
    std::string message;  // "M5"; "none" or "M3+M7" when there was not exactly one
    bool imageKept = false;
};

Observed RunOnce(const RunPlan& plan, const Outcome& expected, WireBarrier& barrier) {
    FirmwareFile file(plan.imageSize);
    std::snprintf(launchOptions.firmwareName, sizeof launchOptions.firmwareName, "%s",
                  file.name().c_str());
    launchOptions.deviceKind = plan.launchAp ? DeviceKind::Ap : DeviceKind::E2;
    launchOptions.probeEnabled = plan.probe;

    // The sentinel takes the device's port at another address; a port the
    // system chose for the device may be taken there already: choose again.
    std::unique_ptr<RunningSimulator> sim;
    std::unique_ptr<RunningSimulator> sentinel;
    for (int attempt = 0; attempt < 10 && (sentinel == nullptr || !sentinel->Running());
         ++attempt) {
        SimulatorOptions options;
        options.bindAddress = kDeviceAddress;
        options.port = 0;
        fault_campaign::ApplyToSimulator(plan, &options);
        sim = std::make_unique<RunningSimulator>(options);
        if (!sim->Running()) {
            ADD_FAILURE() << "the device cannot bind " << kDeviceAddress << ": " << sim->Error();
            return {};
        }
        SimulatorOptions listener;
        listener.bindAddress = kElsewhere;
        listener.port = sim->Port();
        listener.silent = true;
        sentinel = std::make_unique<RunningSimulator>(listener);
    }
    if (!sentinel->Running()) {
        ADD_FAILURE() << "no port for both the device and the sentinel";
        return {};
    }
    deviceRequestPort = sim->Port();
    SetTypedAddress(kDeviceAddress);

    RecordingWindow window;
    PlayWindow(window, kTickLimit);

    Observed observed;
    for (std::size_t i = 0; i < window.messages.size(); ++i) {
        observed.message +=
            (i == 0 ? "" : "+") + std::string(RecordingWindow::MessageName(window.messages[i]));
    }
    if (observed.message.empty()) {
        observed.message = "none";
    }
    EXPECT_EQ(window.messages.size(), 1u) << observed.message;
    EXPECT_EQ(window.endCount, 1);
    EXPECT_EQ(window.endResult, observed.message == "M6" ? 1 : 0);
    EXPECT_FALSE(window.timerArmedAtMessage);
    EXPECT_FALSE(window.timerArmed);
    EXPECT_LE(window.highestPosition, 100);
    EXPECT_EQ(tftpEndpoint.socket, kInvalidSocket) << "the endpoint outlived its window";
    EXPECT_EQ(observed.message, "M" + std::to_string(expected.message));

    const std::vector<LogEntry> wire = barrier.SettledLog(*sim, kDeviceAddress);
    CheckWire(wire, sim->Port());
    for (const LogEntry& entry : barrier.SettledLog(*sentinel, kElsewhere)) {
        ADD_FAILURE() << "sent to " << kElsewhere << " instead of " << kDeviceAddress << ": "
                      << entry.line;
    }

    const std::vector<ImageReport> images = sim->Images();
    EXPECT_LE(images.size(), 1u);
    observed.imageKept = images.size() == 1;
    EXPECT_EQ(observed.imageKept, expected.imageKept);
    if (observed.message == "M6") {
        const std::string fileDigest = Sha256Hex(file.bytes().data(), file.bytes().size());
        EXPECT_TRUE(observed.imageKept && images[0].bytes == file.bytes() &&
                    images[0].sha256 == fileDigest)
            << "completed, but the device did not keep the file's bytes";
    }
    return observed;
}

// Counts, printed at the end and checked for a campaign that tests little.
struct Tally {
    std::map<std::string, int> outcomes;
    std::map<std::string, int> devices;
    std::map<std::string, int> faults;
    std::map<std::string, int> places;
    int failedRuns = 0;

    void Add(const RunPlan& plan, const Observed& observed) {
        ++outcomes[observed.message];
        const InfoFile asked = plan.launchAp ? InfoFile::Ap : InfoFile::E2;
        ++devices[plan.device == asked               ? "as asked"
                  : plan.device == InfoFile::Missing ? "without /info.sys"
                                                     : "of the other kind"];
        if (plan.faults.empty() && plan.emptyReplies == 0) {
            ++faults["none"];
        }
        if (plan.emptyReplies > 0) {
            ++faults["empty answers to requests"];
        }
        const int last = static_cast<int>(plan.imageSize / 512) + 1;
        for (const FaultyAnswer& fault : plan.faults) {
            ++faults[fault_campaign::KindName(fault.fault)];
            ++places[fault.inRead          ? "probe's read"
                     : fault.block == 0    ? "write request"
                     : fault.block == last ? "last block"
                                           : "a block between"];
        }
    }

    static std::string Line(const std::map<std::string, int>& counts) {
        std::string line;
        for (const auto& [name, count] : counts) {
            line += (line.empty() ? "" : ", ") + name + " " + std::to_string(count);
        }
        return line;
    }
};

// Failures recorded so far in the running test: one part each.
int FailuresSoFar() {
    return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

TEST(FaultCampaign, EveryRunEndsWithTheOneMessageItsFaultsCallFor) {
    const std::uint64_t seed =
        static_cast<std::uint64_t>(EnvironmentNumber("ETHBOX_CAMPAIGN_SEED", kFixedSeed));
    const int runs = static_cast<int>(EnvironmentNumber("ETHBOX_CAMPAIGN_RUNS", kRuns));
    const int only = static_cast<int>(EnvironmentNumber("ETHBOX_CAMPAIGN_RUN", -1));
    std::printf("fault campaign: seed %llu, %d runs\n", static_cast<unsigned long long>(seed),
                only >= 0 ? 1 : runs);
    std::fflush(stdout);

    WireBarrier barrier(kElsewhere);
    RunWatchdog watchdog(kHangAfter,
                         "ETHBOX_CAMPAIGN_SEED=" + std::to_string(seed) + " ETHBOX_CAMPAIGN_RUN=");
    Tally tally;
    const fault_campaign::Profile profile;
    const Clock::time_point began = Clock::now();
    for (int index = only >= 0 ? only : 0; index < (only >= 0 ? only + 1 : runs); ++index) {
        const RunPlan plan = fault_campaign::DrawRun(seed, index, profile);
        const Outcome expected = fault_campaign::Expect(plan);
        const std::string description = fault_campaign::Describe(plan);
        watchdog.Starting(index, description);
        SCOPED_TRACE("run " + std::to_string(index) + " of seed " + std::to_string(seed) + ": " +
                     description);

        const int failuresBefore = FailuresSoFar();
        const Clock::time_point runBegan = Clock::now();
        const Observed observed = RunOnce(plan, expected, barrier);
        const double seconds = std::chrono::duration<double>(Clock::now() - runBegan).count();
        const bool failed = FailuresSoFar() != failuresBefore;
        tally.failedRuns += failed ? 1 : 0;
        tally.Add(plan, observed);
        std::printf("run %3d: %-70s M%d %s %s (%.2f s)\n", index, description.c_str(),
                    expected.message, failed ? "but got" : "ok", observed.message.c_str(), seconds);
        std::fflush(stdout);
        launchOptions = LaunchOptions{};
        deviceRequestPort = kTftpServerPort;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    std::printf(
        "fault campaign: seed %llu, %d runs in %.1f s, %d failed\n"
        "  outcomes: %s\n  devices: %s\n  faults: %s\n  places: %s\n"
        "  replay: ETHBOX_CAMPAIGN_SEED=%llu [ETHBOX_CAMPAIGN_RUN=n] fault_campaign\n",
        static_cast<unsigned long long>(seed), only >= 0 ? 1 : runs, seconds, tally.failedRuns,
        Tally::Line(tally.outcomes).c_str(), Tally::Line(tally.devices).c_str(),
        Tally::Line(tally.faults).c_str(), Tally::Line(tally.places).c_str(),
        static_cast<unsigned long long>(seed));

    // A generator that stopped drawing some fault, place or outcome would
    // leave the campaign passing while it tests less.
    if (only < 0 && runs >= kRuns) {
        for (const char* outcome : {"M3", "M4", "M5", "M6"}) {
            EXPECT_GT(tally.outcomes[outcome], 0) << "no run ended with " << outcome;
        }
        EXPECT_EQ(tally.devices.size(), 3u) << Tally::Line(tally.devices);
        EXPECT_EQ(tally.faults.size(), 8u + 2u) << Tally::Line(tally.faults);
        EXPECT_EQ(tally.places.size(), 4u) << Tally::Line(tally.places);
    }
}

}  // namespace
