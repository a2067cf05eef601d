// Any datagram the device (or anyone) sends in answer to the probe request.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "transfer/device_probe.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool SameClassification(const ProbeClassification& a, const ProbeClassification& b) {
    return a.result == b.result && a.reportedKind == b.reportedKind && a.answer == b.answer;
}

// What the probe must make of the datagram, read the simple way: byte i, or
// zero past the end.
void CheckAgainstTheRules(const std::uint8_t* bytes, std::size_t size,
                          const ProbeClassification& got) {
    auto at = [&](std::size_t i) -> unsigned { return i < size ? bytes[i] : 0u; };
    const unsigned opcode = at(1);
    const unsigned number = at(2) * 256 + at(3);
    if (size == 0) {
        Require(got.result == ProbeResult::EmptyReply && got.answer == ProbeAnswer::None);
    } else if (opcode == 3 && number == 1) {
        Require(got.answer == ProbeAnswer::AckBlock1);
        if (at(4) == '1') {
            Require(got.result == ProbeResult::KindReported && got.reportedKind == DeviceKind::Ap);
        } else if (at(4) == '0') {
            Require(got.result == ProbeResult::KindReported && got.reportedKind == DeviceKind::E2);
        } else {
            Require(got.result == ProbeResult::Rejected);
        }
    } else if (opcode == 3) {
        Require(got.result == ProbeResult::Rejected && got.answer == ProbeAnswer::ErrorCode0);
    } else if (opcode == 5 && number == 1) {
        Require(got.result == ProbeResult::FileNotFound && got.answer == ProbeAnswer::None);
    } else {
        Require(got.result == ProbeResult::Rejected && got.answer == ProbeAnswer::None);
    }
    // A kind is named only together with KindReported, and then always.
    Require((got.reportedKind != DeviceKind::None) == (got.result == ProbeResult::KindReported));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 1518) {
        return 0;  // the endpoint never hands over more
    }
    // Exactly as long as the datagram, so any read past its end is caught.
    std::unique_ptr<std::uint8_t[]> datagram(new std::uint8_t[size]);
    if (size > 0) {
        std::memcpy(datagram.get(), data, size);
    }
    const ProbeClassification got = ClassifyProbeReply(datagram.get(), static_cast<int>(size));
    CheckAgainstTheRules(datagram.get(), size, got);

    // Only the first five bytes count, a short datagram as if padded with zeros.
    if (size > 0) {
        std::uint8_t head[5] = {};
        std::memcpy(head, datagram.get(), size < sizeof head ? size : sizeof head);
        Require(SameClassification(got, ClassifyProbeReply(head, sizeof head)));
    }

    const ProbeClassification failed = ClassifyProbeReply(nullptr, -1);
    Require(failed.result == ProbeResult::ReceiveFailed && failed.answer == ProbeAnswer::None &&
            failed.reportedKind == DeviceKind::None);
    return 0;
}
