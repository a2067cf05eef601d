#include "transfer/image_upload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <ostream>
#include <thread>
#include <vector>

#include "device_simulator.h"
#include "platform/sha256.h"
#include "support/endpoint_fixture.h"
#include "support/faulty_answers.h"
#include "support/simulator_log.h"
#include "transfer/firmware_image.h"
#include "transfer/tftp_endpoint.h"
#include "transfer/tftp_packets.h"

// Readable failure messages: the result's name-less value, not its bytes.
void PrintTo(UploadStepResult result, std::ostream* out) {
    *out << static_cast<int>(result);
}

namespace {

// An image of `length` bytes that differ from block to block, put where the
// upload reads it.
Bytes LoadTestImage(std::int32_t length) {
    Bytes image(static_cast<std::size_t>(length));
    std::uint32_t state = 0x2545F491u ^ static_cast<std::uint32_t>(length);
    for (std::uint8_t& byte : image) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    std::memset(firmwareImage.data, 0xA5, sizeof firmwareImage.data);
    if (!image.empty()) {
        std::memcpy(firmwareImage.data, image.data(), image.size());
    }
    firmwareImage.length = length;
    return image;
}

// As the sequencer drives it: reset, write request, then one step per tick
// until a step does not send a block.
std::vector<UploadStepResult> RunUpload() {
    ResetUpload();
    SendWriteRequest();
    std::vector<UploadStepResult> steps;
    do {
        steps.push_back(ReceiveAckAndSendNext());
    } while (steps.back() == UploadStepResult::BlockSent && steps.size() < 1000);
    return steps;
}

// The DATA block numbers the device received, in order.
std::vector<int> DataBlocksReceived(const RunningSimulator& sim) {
    std::vector<int> blocks;
    for (const LogEntry& entry : LoggedDatagrams(sim, false)) {
        if (LoggedOpcode(entry) == 3) {
            blocks.push_back(LoggedNumber(entry));
        }
    }
    return blocks;
}

std::vector<int> OneTo(int last) {
    std::vector<int> numbers;
    for (int n = 1; n <= last; ++n) {
        numbers.push_back(n);
    }
    return numbers;
}

TEST(ClassifyUploadReply, OnlyTheExpectedAcknowledgementLetsTheUploadGoOn) {
    const struct {
        Bytes reply;
        std::int32_t expected;
        UploadStepResult result;
    } cases[] = {
        {{0, 4, 0, 0}, 0, UploadStepResult::BlockSent},
        {{0, 4, 1, 0x70}, 368, UploadStepResult::BlockSent},
        {{0xFF, 4, 0, 7, 'x'}, 7, UploadStepResult::BlockSent},  // byte 0 and extra bytes ignored
        {{0, 4, 0, 6}, 7, UploadStepResult::WrongBlock},
        {{0, 4, 1, 7}, 7, UploadStepResult::WrongBlock},
        {{0, 3, 0, 7}, 7, UploadStepResult::NotAnAck},
        {{0, 5, 0, 7}, 7, UploadStepResult::NotAnAck},
        {{0, 2, 0, 7}, 7, UploadStepResult::NotAnAck},
        {{0, 4, 0}, 0, UploadStepResult::NotAnAck},  // too short to name a block
        {{0, 4}, 0, UploadStepResult::NotAnAck},
        {{4}, 0, UploadStepResult::NotAnAck},
        {{}, 0, UploadStepResult::ReceiveFailed},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> datagram(c.reply);  // exactly sized: over-reads are caught
        EXPECT_EQ(
            ClassifyUploadReply(datagram.data(), static_cast<int>(datagram.size()), c.expected),
            c.result)
            << ::testing::PrintToString(c.reply) << " expecting block " << c.expected;
    }
    EXPECT_EQ(ClassifyUploadReply(nullptr, -1, 0), UploadStepResult::ReceiveFailed);
}

class UploadToSimulator : public EndpointWithSimulator {
  protected:
    // Sends a whole image and checks every datagram the device saw.
    void ExpectWholeUpload(std::int32_t length) {
        SCOPED_TRACE(length);
        const Bytes image = LoadTestImage(length);
        const int blocks = length / 512 + 1;  // the last one short, possibly empty

        const std::vector<UploadStepResult> steps = RunUpload();
        ASSERT_EQ(steps.size(), static_cast<std::size_t>(blocks) + 1);
        for (std::size_t i = 0; i + 1 < steps.size(); ++i) {
            ASSERT_EQ(steps[i], UploadStepResult::BlockSent) << "step " << i;
        }
        EXPECT_EQ(steps.back(), UploadStepResult::Finished);
        EXPECT_EQ(uploadState.bytesAcked, length);
        EXPECT_EQ(uploadState.blockNumber, blocks);
        EXPECT_EQ(uploadState.lastBlockLength, length % 512);

        ASSERT_TRUE(sim->WaitForImages(1, 5000));
        const ImageReport kept = sim->Images().at(0);
        EXPECT_TRUE(kept.bytes == image) << "the device kept other bytes than the image";
        EXPECT_EQ(kept.sha256, Sha256Hex(image.data(), image.size()));

        ASSERT_TRUE(WaitUntilDeviceReceived(*sim, static_cast<std::size_t>(blocks) + 1));
        ASSERT_TRUE(WaitUntilLogged(*sim, true, static_cast<std::size_t>(blocks) + 1));
        const std::vector<LogEntry> received = LoggedDatagrams(*sim, false);
        const std::vector<LogEntry> sent = LoggedDatagrams(*sim, true);
        ASSERT_EQ(received.size(), static_cast<std::size_t>(blocks) + 1);
        ASSERT_EQ(sent.size(), static_cast<std::size_t>(blocks) + 1);  // ACK 0 to ACK of the last

        EXPECT_EQ(received[0].bytes, BytesOf(kWriteRequest, sizeof kWriteRequest));
        EXPECT_EQ(received[0].localPort, sim->Port());
        const std::uint16_t endpointPort = received[0].remotePort;
        for (int block = 1; block <= blocks; ++block) {
            const LogEntry& data = received[static_cast<std::size_t>(block)];
            const LogEntry& ack = sent[static_cast<std::size_t>(block) - 1];
            ASSERT_EQ(LoggedOpcode(ack), 4);
            ASSERT_EQ(LoggedNumber(ack), block - 1);
            ASSERT_EQ(LoggedOpcode(data), 3) << "block " << block;
            ASSERT_EQ(LoggedNumber(data), block);
            EXPECT_EQ(data.remotePort, endpointPort);
            EXPECT_EQ(data.localPort, ack.localPort) << "DATA goes where the ACK came from";
            EXPECT_NE(data.localPort, sim->Port());
            const std::size_t offset = static_cast<std::size_t>(block - 1) * 512;
            const std::size_t payload =
                block < blocks ? 512 : static_cast<std::size_t>(length % 512);
            ASSERT_EQ(data.bytes.size(), 4 + payload) << "block " << block;
            EXPECT_TRUE(std::equal(data.bytes.begin() + 4, data.bytes.end(),
                                   image.begin() + static_cast<std::ptrdiff_t>(offset)))
                << "block " << block << " carries the wrong part of the image";
        }
        EXPECT_EQ(LoggedNumber(sent.back()), blocks);
    }
};

TEST_F(UploadToSimulator, SendsImagesOfEveryShapeWhole) {
    // Smallest (a whole number of blocks, so an empty last block), one byte
    // more, a middle size, the largest, and 300 whole blocks.
    for (std::int32_t length : {5120, 5121, 41472, 188415, 300 * 512}) {
        Start(SimulatorOptions{});
        ExpectWholeUpload(length);
        TearDown();
    }
}

TEST_F(UploadToSimulator, FollowsTheAcknowledgementsToWhicheverPortTheyComeFrom) {
    SimulatorOptions options;
    options.answerFromOtherPort = true;
    Start(options);
    ExpectWholeUpload(5121);
}

TEST_F(UploadToSimulator, EndsAtTheFirstUnexpectedAnswerAndNeverResends) {
    const struct {
        const char* what;
        void (*misbehave)(SimulatorOptions&);
        std::size_t blocksSent;
        UploadStepResult last;
    } cases[] = {
        {"duplicate ACK 3", [](SimulatorOptions& o) { AddFault(o, "ack3:duplicate"); }, 4,
         UploadStepResult::WrongBlock},
        {"ACK 3 for block 2", [](SimulatorOptions& o) { AddFault(o, "ack2:wrong-block"); }, 2,
         UploadStepResult::WrongBlock},
        {"DATA instead of ACK 2", [](SimulatorOptions& o) { AddFault(o, "ack2:opcode=3"); }, 2,
         UploadStepResult::NotAnAck},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatorOptions options;
        c.misbehave(options);
        Start(options);
        LoadTestImage(41472);

        const std::vector<UploadStepResult> steps = RunUpload();
        ASSERT_EQ(steps.size(), c.blocksSent + 1);
        EXPECT_EQ(steps.back(), c.last);
        EXPECT_EQ(uploadState.blockNumber, static_cast<std::int32_t>(c.blocksSent));

        ASSERT_TRUE(WaitUntilDeviceReceived(*sim, c.blocksSent + 1));
        EXPECT_EQ(DataBlocksReceived(*sim), OneTo(static_cast<int>(c.blocksSent)));
        EXPECT_TRUE(sim->Images().empty());
        TearDown();
    }
}

TEST_F(UploadToSimulator, SilenceInTheMiddleEndsTheUploadWithoutAResend) {
    SimulatorOptions options;
    AddFault(options, "ack3:drop");
    Start(options);
    LoadTestImage(5121);

    const std::vector<UploadStepResult> steps = RunUpload();
    ASSERT_EQ(steps.size(), 4u);
    EXPECT_EQ(steps.back(), UploadStepResult::ReceiveFailed);
    // A little time for a resend, had there been one, to reach the device.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(DataBlocksReceived(*sim), OneTo(3));
}

using UploadWithRawPeer = EndpointWithRawPeer;

TEST_F(UploadWithRawPeer, AnswersOnlyTheExpectedAcknowledgementWhateverElseArrives) {
    const Bytes image = LoadTestImage(5121);
    ResetUpload();
    SendWriteRequest();
    const RawUdpPeer::Datagram request = server.Receive();
    ASSERT_TRUE(request.received);
    ASSERT_EQ(request.bytes, BytesOf(kWriteRequest, sizeof kWriteRequest));

    // The ACK of the write request is answered with block 1 at its port.
    ASSERT_TRUE(transfer.SendTo(request.sourcePort, {0, 4, 0, 0}));
    ASSERT_EQ(ReceiveAckAndSendNext(), UploadStepResult::BlockSent);
    Bytes block1 = {0, 3, 0, 1};
    block1.insert(block1.end(), image.begin(), image.begin() + 512);
    const RawUdpPeer::Datagram first = transfer.Receive();
    ASSERT_TRUE(first.received);
    EXPECT_EQ(first.bytes, block1);
    EXPECT_EQ(first.sourcePort, request.sourcePort);

    // Each of these ends a step without a block sent. The ERROR leaves
    // 00 05 00 01 in the receive buffer: the short datagrams after it must not
    // be read through to its block number 1, the one the upload waits for.
    const struct {
        Bytes reply;
        UploadStepResult result;
    } refused[] = {
        {{0, 5, 0, 1, 'x', 0}, UploadStepResult::NotAnAck},
        {{0, 4}, UploadStepResult::NotAnAck},
        {{0, 4, 0}, UploadStepResult::NotAnAck},
        {{4}, UploadStepResult::NotAnAck},
        {{}, UploadStepResult::ReceiveFailed},
        {{0, 3, 0, 1, 'd'}, UploadStepResult::NotAnAck},
        {{0, 4, 0, 0}, UploadStepResult::WrongBlock},
        {{0, 4, 1, 1}, UploadStepResult::WrongBlock},
    };
    for (const auto& c : refused) {
        ASSERT_TRUE(transfer.SendTo(request.sourcePort, c.reply));
        EXPECT_EQ(ReceiveAckAndSendNext(), c.result) << ::testing::PrintToString(c.reply);
    }
    ExpectNothingMoreAt(transfer);
    EXPECT_EQ(uploadState.blockNumber, 1);
    EXPECT_EQ(uploadState.bytesAcked, 0);

    // The upload still waits for the ACK of block 1 and goes on from there.
    ASSERT_TRUE(transfer.SendTo(request.sourcePort, {0, 4, 0, 1}));
    ASSERT_EQ(ReceiveAckAndSendNext(), UploadStepResult::BlockSent);
    const RawUdpPeer::Datagram second = transfer.Receive();
    ASSERT_TRUE(second.received);
    ASSERT_EQ(second.bytes.size(), 516u);
    EXPECT_EQ(Bytes(second.bytes.begin(), second.bytes.begin() + 4), (Bytes{0, 3, 0, 2}));
    EXPECT_TRUE(std::equal(second.bytes.begin() + 4, second.bytes.end(), image.begin() + 512));
    ExpectNothingMoreAt(server);
}

}  // namespace
