#include "fault_plan.h"

#include "sim_faults.h"

namespace fault_campaign {

namespace {

constexpr long kSmallestImage = 5120;
constexpr long kBlockSize = 512;
constexpr int kProbeRequests = 5;  // the probe asks at most this often

// Lengths where the block arithmetic turns: a last block that is empty, of
// one byte, or full, and the stepping of the bar.
constexpr long kEdgeSizes[] = {5120, 5121, 5631, 5632, 41471, 41472, 41473, 187904, 188415};

constexpr AnswerFault kKinds[] = {
    AnswerFault::Drop,        AnswerFault::Duplicate, AnswerFault::Late,  AnswerFault::WrongBlock,
    AnswerFault::WrongOpcode, AnswerFault::Empty,     AnswerFault::Error, AnswerFault::OtherPort,
};

// Opcodes other than the answer's own (3 for DATA, 4 for ACK) and beyond TFTP's.
constexpr int kDataOpcodes[] = {0, 1, 2, 4, 5, 6, 9, 255};
constexpr int kAckOpcodes[] = {0, 1, 2, 3, 5, 6, 9, 255};

// The write's last ACK: of block floor(L / 512) + 1, the short one.
int LastBlock(long imageSize) {
    return static_cast<int>(imageSize / kBlockSize) + 1;
}

template <typename T, std::size_t N>
const T& Pick(Draw& draw, const T (&items)[N]) {
    return items[draw.Between(0, static_cast<long>(N) - 1)];
}

bool SamePlace(const FaultyAnswer& a, const FaultyAnswer& b) {
    return a.inRead == b.inRead && a.block == b.block;
}

FaultyAnswer DrawFault(Draw& draw, const RunPlan& plan) {
    FaultyAnswer fault;
    // Only a device that has "/info.sys" serves the probe's read.
    fault.inRead = plan.probe && plan.device != InfoFile::Missing && draw.Chance(25);
    if (fault.inRead) {
        fault.block = 1;
    } else {
        const int last = LastBlock(plan.imageSize);
        const long place = draw.Between(1, 100);
        fault.block = place <= 15   ? 0
                      : place <= 30 ? last
                                    : static_cast<int>(draw.Between(0, last));
    }
    fault.fault = Pick(draw, kKinds);
    if (fault.fault == AnswerFault::WrongOpcode) {
        fault.value = fault.inRead ? Pick(draw, kDataOpcodes) : Pick(draw, kAckOpcodes);
    } else if (fault.fault == AnswerFault::Error) {
        // File not found is the one code the probe may accept.
        fault.value = fault.inRead && draw.Chance(40) ? 1 : static_cast<int>(draw.Between(0, 8));
    }
    return fault;
}

const FaultyAnswer* FaultAt(const RunPlan& plan, bool inRead, int block) {
    for (const FaultyAnswer& fault : plan.faults) {
        if (fault.inRead == inRead && fault.block == block) {
            return &fault;
        }
    }
    return nullptr;
}

// What the probe reads from the device's answer to one read request. Only
// byte 1 of an answer is its opcode, and an ERROR's code sits where a DATA's
// block number does.
enum class ProbeReads { Ap, E2, NotFound, Empty, Nothing, Refused };

ProbeReads ReadAnswer(const RunPlan& plan, bool* strayAnswer) {
    if (plan.device == InfoFile::Missing) {
        return ProbeReads::NotFound;
    }
    const ProbeReads kind = plan.device == InfoFile::Ap ? ProbeReads::Ap : ProbeReads::E2;
    const FaultyAnswer* fault = FaultAt(plan, true, 1);
    if (fault == nullptr) {
        return kind;
    }
    switch (fault->fault) {
        case AnswerFault::OtherPort:
            return kind;
        case AnswerFault::Duplicate:
            *strayAnswer = true;  // the second copy waits for whoever reads next
            return kind;
        case AnswerFault::Drop:
        case AnswerFault::Late:
            return ProbeReads::Nothing;
        case AnswerFault::WrongBlock:
            return ProbeReads::Refused;
        case AnswerFault::WrongOpcode:
            switch (fault->value & 0xFF) {
                case 3:
                    return kind;
                case 5:
                    return ProbeReads::NotFound;  // an ERROR of code 1: block 1's number
                default:
                    return ProbeReads::Refused;
            }
        case AnswerFault::Empty:
            return ProbeReads::Empty;
        case AnswerFault::Error:
            return fault->value == 1 ? ProbeReads::NotFound : ProbeReads::Refused;
    }
    return ProbeReads::Refused;
}

const char* DeviceName(InfoFile device) {
    return device == InfoFile::Ap ? "ap" : device == InfoFile::E2 ? "e2" : "none";
}

}  // namespace

Draw::Draw(std::uint64_t seed, std::uint64_t stream)
    : state_(seed * 0x9E3779B97F4A7C15u + stream * 0xD1B54A32D192ED03u + 1) {}

std::uint64_t Draw::Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

long Draw::Between(long lowest, long highest) {
    const std::uint64_t span = static_cast<std::uint64_t>(highest - lowest) + 1;
    return lowest + static_cast<long>(Next() % span);
}

bool Draw::Chance(int percent) {
    return Between(1, 100) <= percent;
}

RunPlan DrawRun(std::uint64_t seed, int index, const Profile& profile) {
    Draw draw(seed, static_cast<std::uint64_t>(index));
    RunPlan plan;
    plan.index = index;
    plan.imageSize = draw.Between(kSmallestImage, profile.largestImage);
    if (draw.Chance(20)) {
        const long edge = Pick(draw, kEdgeSizes);
        plan.imageSize = edge <= profile.largestImage ? edge : kSmallestImage;
    }
    plan.launchAp = draw.Chance(50);
    plan.probe = draw.Chance(75);
    const InfoFile asked = plan.launchAp ? InfoFile::Ap : InfoFile::E2;
    plan.device = asked;
    if (draw.Chance(profile.cleanPercent)) {
        return plan;
    }
    // Mostly the kind asked for, so that most runs reach the write.
    const long device = draw.Between(1, 100);
    if (device > 90) {
        plan.device = InfoFile::Missing;
    } else if (device > 80) {
        plan.device = plan.launchAp ? InfoFile::E2 : InfoFile::Ap;
    }
    if (draw.Chance(10)) {
        plan.emptyReplies = static_cast<int>(draw.Between(1, kProbeRequests));
    }
    const int faults = draw.Chance(25) ? 2 : 1;
    while (static_cast<int>(plan.faults.size()) < faults) {
        const FaultyAnswer fault = DrawFault(draw, plan);
        bool taken = false;
        for (const FaultyAnswer& other : plan.faults) {
            taken = taken || SamePlace(other, fault);
        }
        if (!taken) {
            plan.faults.push_back(fault);
        }
    }
    return plan;
}

Outcome Expect(const RunPlan& plan) {
    int requests = 0;
    auto answeredEmpty = [&] { return ++requests <= plan.emptyReplies; };

    if (plan.probe) {
        bool strayAnswer = false;
        ProbeReads reads = ProbeReads::Empty;
        for (int attempt = 1; reads == ProbeReads::Empty; ++attempt) {
            reads = answeredEmpty() ? ProbeReads::Empty : ReadAnswer(plan, &strayAnswer);
            if (reads == ProbeReads::Empty && attempt == kProbeRequests) {
                return {3, false};
            }
        }
        const bool accepted = (reads == ProbeReads::Ap && plan.launchAp) ||
                              (reads == ProbeReads::E2 && !plan.launchAp) ||
                              (reads == ProbeReads::NotFound && plan.launchAp);
        if (!accepted) {
            return {3, false};
        }
        if (strayAnswer) {
            return {4, false};  // read where the write's ACK 0 should be
        }
    }
    if (answeredEmpty()) {
        return {4, false};  // the write request's answer
    }
    // Whatever spoils ACK 0 fails the write request (M4), any later one the
    // transfer (M5). The device has every byte once block `last` is sent.
    const int last = LastBlock(plan.imageSize);
    for (int block = 0; block <= last; ++block) {
        const FaultyAnswer* fault = FaultAt(plan, false, block);
        if (fault == nullptr || fault->fault == AnswerFault::OtherPort ||
            (fault->fault == AnswerFault::WrongOpcode && (fault->value & 0xFF) == 4)) {
            continue;
        }
        if (fault->fault == AnswerFault::Duplicate) {
            if (block == last) {
                continue;  // nothing more is read after the last ACK
            }
            // The first copy sends the next block, the second is read in place of its ACK.
            return {5, block + 1 == last};
        }
        return {block == 0 ? 4 : 5, block == last};
    }
    return {6, true};
}

std::vector<std::string> SimulatorSwitches(const RunPlan& plan) {
    std::vector<std::string> switches = {"--kind", DeviceName(plan.device), "--retries", "0"};
    if (plan.emptyReplies > 0) {
        switches.insert(switches.end(), {"--empty-replies", std::to_string(plan.emptyReplies)});
    }
    for (const FaultyAnswer& fault : plan.faults) {
        switches.insert(switches.end(), {"--fault", FaultyAnswerText(fault)});
    }
    return switches;
}

void ApplyToSimulator(const RunPlan& plan, SimulatorOptions* options) {
    options->infoFile = plan.device;
    options->maxRetransmits = 0;
    options->emptyReplies = plan.emptyReplies;
    options->faults = plan.faults;
}

std::string Describe(const RunPlan& plan) {
    std::string text = "size=" + std::to_string(plan.imageSize) +
                       (plan.launchAp ? " /type_ap" : " /type_e2") +
                       (plan.probe ? "" : " /chkoff") + " device=" + DeviceName(plan.device) +
                       " empty=" + std::to_string(plan.emptyReplies) + " faults=";
    for (std::size_t i = 0; i < plan.faults.size(); ++i) {
        text += (i == 0 ? "" : ",") + FaultyAnswerText(plan.faults[i]);
    }
    return plan.faults.empty() ? text + "none" : text;
}

std::string KindName(AnswerFault fault) {
    // "ack0:opcode=0" names the kind between the colon and any value.
    const std::string text = FaultyAnswerText(FaultyAnswer{false, 0, fault, 0});
    const std::size_t start = text.find(':') + 1;
    return text.substr(start, text.find('=', start) - start);
}

}  // namespace fault_campaign
