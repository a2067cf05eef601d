#include "transfer/device_probe.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "device_simulator.h"
#include "support/endpoint_fixture.h"
#include "support/faulty_answers.h"
#include "support/simulator_log.h"
#include "transfer/tftp_endpoint.h"
#include "transfer/tftp_packets.h"

// Readable failure messages: the values, not their bytes.
void PrintTo(ProbeResult result, std::ostream* out) {
    *out << static_cast<int>(result);
}
void PrintTo(DeviceKind kind, std::ostream* out) {
    *out << static_cast<int>(kind);
}
void PrintTo(ProbeAnswer answer, std::ostream* out) {
    *out << static_cast<int>(answer);
}

namespace {

const Bytes kAck1 = {0x00, 0x04, 0x00, 0x01};
const Bytes kError0 = {0x00, 0x05, 0x00, 0x00};

struct ReplyCase {
    const char* what;
    Bytes reply;
    ProbeResult result;
    DeviceKind kind;
    ProbeAnswer answer;
};

const std::vector<ReplyCase>& ReplyCases() {
    static const std::vector<ReplyCase> cases = {
        {"DATA 1 naming ap",
         {0, 3, 0, 1, '1', '\r', '\n'},
         ProbeResult::KindReported,
         DeviceKind::Ap,
         ProbeAnswer::AckBlock1},
        {"DATA 1 naming e2",
         {0, 3, 0, 1, '0'},
         ProbeResult::KindReported,
         DeviceKind::E2,
         ProbeAnswer::AckBlock1},
        {"DATA 1 naming no kind",
         {0, 3, 0, 1, '2', '0'},
         ProbeResult::Rejected,
         DeviceKind::None,
         ProbeAnswer::AckBlock1},
        {"empty DATA 1",
         {0, 3, 0, 1},
         ProbeResult::Rejected,
         DeviceKind::None,
         ProbeAnswer::AckBlock1},
        {"byte 0 is not looked at",
         {0x7F, 3, 0, 1, '1'},
         ProbeResult::KindReported,
         DeviceKind::Ap,
         ProbeAnswer::AckBlock1},
        {"DATA 2 first",
         {0, 3, 0, 2, '1'},
         ProbeResult::Rejected,
         DeviceKind::None,
         ProbeAnswer::ErrorCode0},
        {"DATA 257 is not block 1",
         {0, 3, 1, 1, '1'},
         ProbeResult::Rejected,
         DeviceKind::None,
         ProbeAnswer::ErrorCode0},
        {"ERROR 1",
         {0, 5, 0, 1, 'N', 'o', 0},
         ProbeResult::FileNotFound,
         DeviceKind::None,
         ProbeAnswer::None},
        {"ERROR 257 is not code 1",
         {0, 5, 1, 1, 0},
         ProbeResult::Rejected,
         DeviceKind::None,
         ProbeAnswer::None},
        {"ERROR 2",
         {0, 5, 0, 2, 'A', 0},
         ProbeResult::Rejected,
         DeviceKind::None,
         ProbeAnswer::None},
        {"ACK 1", {0, 4, 0, 1}, ProbeResult::Rejected, DeviceKind::None, ProbeAnswer::None},
        {"RRQ",
         {0, 1, '/', 0, 'o', 'c', 't', 'e', 't', 0},
         ProbeResult::Rejected,
         DeviceKind::None,
         ProbeAnswer::None},
        {"WRQ",
         {0, 2, '/', 0, 'o', 'c', 't', 'e', 't', 0},
         ProbeResult::Rejected,
         DeviceKind::None,
         ProbeAnswer::None},
        {"unknown opcode 6",
         {0, 6, 0, 1, '1'},
         ProbeResult::Rejected,
         DeviceKind::None,
         ProbeAnswer::None},
        // Short datagrams read as padded with zeros.
        {"the single byte 03", {3}, ProbeResult::Rejected, DeviceKind::None, ProbeAnswer::None},
        {"00 03 is DATA block 0",
         {0, 3},
         ProbeResult::Rejected,
         DeviceKind::None,
         ProbeAnswer::ErrorCode0},
        {"00 03 00 is DATA block 0",
         {0, 3, 0},
         ProbeResult::Rejected,
         DeviceKind::None,
         ProbeAnswer::ErrorCode0},
        {"00 05 is ERROR code 0",
         {0, 5},
         ProbeResult::Rejected,
         DeviceKind::None,
         ProbeAnswer::None},
        {"00 05 00 is ERROR code 0",
         {0, 5, 0},
         ProbeResult::Rejected,
         DeviceKind::None,
         ProbeAnswer::None},
        {"empty datagram", {}, ProbeResult::EmptyReply, DeviceKind::None, ProbeAnswer::None},
    };
    return cases;
}

Bytes AnswerBytes(ProbeAnswer answer) {
    switch (answer) {
        case ProbeAnswer::AckBlock1:
            return kAck1;
        case ProbeAnswer::ErrorCode0:
            return kError0;
        case ProbeAnswer::None:
            break;
    }
    return {};
}

TEST(ClassifyProbeReply, NamesEachReplyAndTheAnswerItCallsFor) {
    for (const ReplyCase& c : ReplyCases()) {
        SCOPED_TRACE(c.what);
        // Exactly as long as the datagram, so reading past it is caught.
        std::vector<std::uint8_t> datagram(c.reply);
        const ProbeClassification got =
            ClassifyProbeReply(datagram.data(), static_cast<int>(datagram.size()));
        EXPECT_EQ(got.result, c.result);
        EXPECT_EQ(got.reportedKind, c.kind);
        EXPECT_EQ(got.answer, c.answer);
    }
    const ProbeClassification failed = ClassifyProbeReply(nullptr, -1);
    EXPECT_EQ(failed.result, ProbeResult::ReceiveFailed);
    EXPECT_EQ(failed.reportedKind, DeviceKind::None);
    EXPECT_EQ(failed.answer, ProbeAnswer::None);
}

using ProbeWithRawPeer = EndpointWithRawPeer;

// Each reply comes from the device's transfer port; the answer, if any, must
// go back there, and nothing may reach either port otherwise.
TEST_F(ProbeWithRawPeer, AnswersEachReplyOnTheWireAsItsClassificationSays) {
    SendProbeRequest();
    const RawUdpPeer::Datagram request = server.Receive();
    ASSERT_TRUE(request.received);
    ASSERT_EQ(request.bytes, BytesOf(kProbeRequest, sizeof kProbeRequest));

    for (const ReplyCase& c : ReplyCases()) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(transfer.SendTo(request.sourcePort, c.reply));
        DeviceKind kind = DeviceKind::E2;  // must be overwritten, whatever the result
        EXPECT_EQ(ReceiveProbeReply(kind), c.result);
        EXPECT_EQ(kind, c.kind);
        if (c.answer != ProbeAnswer::None) {
            const RawUdpPeer::Datagram answer = transfer.Receive();
            ASSERT_TRUE(answer.received);
            EXPECT_EQ(answer.bytes, AnswerBytes(c.answer));
            EXPECT_EQ(answer.sourcePort, request.sourcePort);
        }
        ExpectNothingMoreAt(transfer);
    }
    ExpectNothingMoreAt(server);
}

// Bytes of an earlier, longer datagram must not show through a short one.
TEST_F(ProbeWithRawPeer, AShortDatagramIsNotReadThroughAnEarlierOne) {
    const std::uint16_t endpointPort = EndpointPort();
    DeviceKind kind = DeviceKind::None;
    ASSERT_TRUE(transfer.SendTo(endpointPort, {0, 3, 0, 1, '1', 'x', 'y'}));
    ASSERT_EQ(ReceiveProbeReply(kind), ProbeResult::KindReported);
    ASSERT_EQ(transfer.Receive().bytes, kAck1);

    ASSERT_TRUE(transfer.SendTo(endpointPort, {0, 3}));
    EXPECT_EQ(ReceiveProbeReply(kind), ProbeResult::Rejected);
    EXPECT_EQ(kind, DeviceKind::None);
    EXPECT_EQ(transfer.Receive().bytes, kError0);

    ASSERT_TRUE(transfer.SendTo(endpointPort, {0, 5, 0, 1}));
    ASSERT_EQ(ReceiveProbeReply(kind), ProbeResult::FileNotFound);
    ASSERT_TRUE(transfer.SendTo(endpointPort, {0, 5}));
    EXPECT_EQ(ReceiveProbeReply(kind), ProbeResult::Rejected);
    ExpectNothingMoreAt(transfer);
}

class ProbeAgainstSimulator : public EndpointWithSimulator {
  protected:
    // The request as the device saw it: exact bytes, at its request port.
    void ExpectRequestReceived(const LogEntry& entry) {
        EXPECT_EQ(entry.bytes, BytesOf(kProbeRequest, sizeof kProbeRequest));
        EXPECT_EQ(entry.localPort, sim->Port());
        EXPECT_EQ(entry.remotePort, EndpointPort());
    }
};

TEST_F(ProbeAgainstSimulator, KindsAreReportedAndTheFirstBlockAcknowledgedAtItsPort) {
    const struct {
        InfoFile file;
        DeviceKind kind;
    } devices[] = {{InfoFile::Ap, DeviceKind::Ap}, {InfoFile::E2, DeviceKind::E2}};
    for (const auto& device : devices) {
        SCOPED_TRACE(static_cast<int>(device.kind));
        SimulatorOptions options;
        options.infoFile = device.file;
        Start(options);
        SendProbeRequest();
        DeviceKind kind = DeviceKind::None;
        EXPECT_EQ(ReceiveProbeReply(kind), ProbeResult::KindReported);
        EXPECT_EQ(kind, device.kind);

        ASSERT_TRUE(WaitUntilDeviceReceived(*sim, 2));
        const std::vector<LogEntry> received = LoggedDatagrams(*sim, false);
        const std::vector<LogEntry> sent = LoggedDatagrams(*sim, true);
        ASSERT_EQ(received.size(), 2u);
        ExpectRequestReceived(received[0]);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(LoggedOpcode(sent[0]), 3);
        EXPECT_EQ(LoggedNumber(sent[0]), 1);
        EXPECT_NE(sent[0].localPort, sim->Port()) << "the device answers from a port of its own";
        EXPECT_EQ(received[1].bytes, kAck1);
        EXPECT_EQ(received[1].localPort, sent[0].localPort);
        EXPECT_EQ(received[1].remotePort, received[0].remotePort);
        TearDown();
    }
}

TEST_F(ProbeAgainstSimulator, AMissingInfoFileIsReportedAndNotAnswered) {
    SimulatorOptions options;
    options.infoFile = InfoFile::Missing;
    Start(options);
    for (int attempt = 0; attempt < 2; ++attempt) {
        SendProbeRequest();
        DeviceKind kind = DeviceKind::Ap;
        EXPECT_EQ(ReceiveProbeReply(kind), ProbeResult::FileNotFound);
        EXPECT_EQ(kind, DeviceKind::None);
    }
    ASSERT_TRUE(WaitUntilDeviceReceived(*sim, 2));
    ASSERT_TRUE(WaitUntilLogged(*sim, true, 2));
    for (const LogEntry& entry : LoggedDatagrams(*sim, false)) {
        ExpectRequestReceived(entry);
    }
    for (const LogEntry& entry : LoggedDatagrams(*sim, true)) {
        EXPECT_EQ(LoggedOpcode(entry), 5);
        EXPECT_EQ(LoggedNumber(entry), 1);
    }
}

TEST_F(ProbeAgainstSimulator, AnErrorOtherThanFileNotFoundIsRejected) {
    SimulatorOptions options;
    AddFault(options, "data1:error=2");
    Start(options);
    SendProbeRequest();
    DeviceKind kind = DeviceKind::Ap;
    EXPECT_EQ(ReceiveProbeReply(kind), ProbeResult::Rejected);
    EXPECT_EQ(kind, DeviceKind::None);
}

TEST_F(ProbeAgainstSimulator, DataBlock2FirstIsRefusedWithErrorCode0AtItsPort) {
    SimulatorOptions options;
    options.probeBlock2First = true;
    Start(options);
    SendProbeRequest();
    DeviceKind kind = DeviceKind::Ap;
    EXPECT_EQ(ReceiveProbeReply(kind), ProbeResult::Rejected);
    EXPECT_EQ(kind, DeviceKind::None);

    ASSERT_TRUE(WaitUntilDeviceReceived(*sim, 2));
    const std::vector<LogEntry> received = LoggedDatagrams(*sim, false);
    const std::vector<LogEntry> sent = LoggedDatagrams(*sim, true);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(LoggedNumber(sent[0]), 2);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[1].bytes, kError0);
    EXPECT_EQ(received[1].localPort, sent[0].localPort);
}

TEST_F(ProbeAgainstSimulator, EmptyRepliesAreReportedAndTheRequestCanBeRepeated) {
    SimulatorOptions options;
    options.emptyReplies = 2;
    options.infoFile = InfoFile::E2;
    Start(options);
    DeviceKind kind = DeviceKind::None;
    for (int attempt = 0; attempt < 2; ++attempt) {
        SendProbeRequest();
        EXPECT_EQ(ReceiveProbeReply(kind), ProbeResult::EmptyReply);
        EXPECT_EQ(kind, DeviceKind::None);
    }
    SendProbeRequest();
    EXPECT_EQ(ReceiveProbeReply(kind), ProbeResult::KindReported);
    EXPECT_EQ(kind, DeviceKind::E2);

    // Three requests and the acknowledgement: the empty datagrams got no answer.
    ASSERT_TRUE(WaitUntilDeviceReceived(*sim, 4));
    const std::vector<LogEntry> received = LoggedDatagrams(*sim, false);
    ASSERT_EQ(received.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        ExpectRequestReceived(received[i]);
    }
    EXPECT_EQ(received[3].bytes, kAck1);
}

TEST_F(ProbeAgainstSimulator, SilenceIsAFailedReceive) {
    SimulatorOptions options;
    options.silent = true;
    Start(options);
    SendProbeRequest();
    DeviceKind kind = DeviceKind::Ap;
    EXPECT_EQ(ReceiveProbeReply(kind), ProbeResult::ReceiveFailed);
    EXPECT_EQ(kind, DeviceKind::None);
    ASSERT_TRUE(WaitUntilDeviceReceived(*sim, 1));
    EXPECT_EQ(LoggedDatagrams(*sim, false).size(), 1u);
}

}  // namespace
