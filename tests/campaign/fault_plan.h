#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device_simulator.h"

// The random-fault campaign's plan: for a seed and a run's number, one
// update's launch options, the simulated device and its faulty answers, and
// what the update must end with. The expectation follows from the faults and
// the protocol alone (what the updater can make of each answer on the wire),
// not from the updater's code, so that the campaign checks one against the
// other. The native campaign and the Wine campaign draw from the same plan.

namespace fault_campaign {

// A generator of our own (SplitMix64): the same draws from the same seed with
// every compiler and standard library, so that a seed replays anywhere.
class Draw {
  public:
    Draw(std::uint64_t seed, std::uint64_t stream);
    std::uint64_t Next();
    long Between(long lowest, long highest);  // both included
    bool Chance(int percent);

  private:
    std::uint64_t state_;
};

struct Profile {
    long largestImage = 188415;  // images are drawn from 5120 to this
    int cleanPercent = 20;       // runs with a well-behaved device of the kind asked for
};

struct RunPlan {
    int index = 0;
    long imageSize = 0;
    bool launchAp = true;  // /type_ap, else /type_e2
    bool probe = true;     // no /chkoff
    InfoFile device = InfoFile::Ap;
    int emptyReplies = 0;              // requests the device answers with an empty datagram
    std::vector<FaultyAnswer> faults;  // at most one per answer
};

struct Outcome {
    int message = 0;         // n of Mn: 3 to 6 here
    bool imageKept = false;  // the device received every block
};

// Each run draws from a stream of its own, so one run replays alone.
RunPlan DrawRun(std::uint64_t seed, int index, const Profile& profile);

Outcome Expect(const RunPlan& plan);

// The device's switches (ethbox-sim's command line) and options for the plan.
// Reads never resend: a resend would race the updater's one-second waits.
std::vector<std::string> SimulatorSwitches(const RunPlan& plan);
void ApplyToSimulator(const RunPlan& plan, SimulatorOptions* options);

// One line: "size=12345 /type_ap probe device=e2 empty=0 faults=ack3:drop".
std::string Describe(const RunPlan& plan);

// The name of a fault's kind as the simulator spells it ("drop", "opcode", ...).
std::string KindName(AnswerFault fault);

}  // namespace fault_campaign
