#pragma once

#include <cstddef>
#include <cstdint>

#include "common/launch_options.h"

enum class ProbeResult : int {
    KindReported = 0,
    EmptyReply = 1,
    FileNotFound = 2,
    ReceiveFailed = -1,
    Rejected = -2,
};

// What the probe answers a reply with.
enum class ProbeAnswer { None, AckBlock1, ErrorCode0 };

struct ProbeClassification {
    ProbeResult result;
    DeviceKind reportedKind;
    ProbeAnswer answer;
};

// Classifies one received datagram; `length` is the receive's result (-1 for
// an error or time-out). Bytes past a short datagram count as zero.
ProbeClassification ClassifyProbeReply(const std::uint8_t* datagram, int length);

// Sends the RRQ for "/info.sys" to the request port of the target.
void SendProbeRequest();

// Receives one datagram, classifies it and sends the answer it calls for to
// the port it came from.
ProbeResult ReceiveProbeReply(DeviceKind& reportedKind);
