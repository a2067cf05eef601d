// The device simulator on the wire: what it answers, what it logs, and each
// misbehaviour it can be told to show. The client side is a bare UDP socket.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "device_simulator.h"
#include "platform/sha256.h"
#include "sim_command_line.h"
#include "support/faulty_answers.h"
#include "support/sim_udp_peer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Every wait for what must come is its time on a quiet machine times
// ETHBOX_WAIT_SCALE, as every wait of the tests is (3 unless set).
int WaitScale() {
    const char* text = std::getenv("ETHBOX_WAIT_SCALE");
    const long scale = text != nullptr ? std::strtol(text, nullptr, 10) : 3;
    return scale >= 1 && scale <= 100 ? static_cast<int>(scale) : 3;
}
// Long enough for anything on loopback, even under Wine and sanitizers.
const int kWaitMs = 2000 * WaitScale();
// How long a test listens to be sure that nothing comes: longer than any
// faulty answer is held back or a resend waits below (the longest, of the
// other-port row, waits kQuietMs itself and is listened to for twice that),
// so that a simulator thread that a busy machine wakes late still answers
// within it.
constexpr int kQuietMs = 600;

Bytes Request(std::uint8_t opcode, const std::string& name, const std::string& mode) {
    Bytes packet{0, opcode};
    packet.insert(packet.end(), name.begin(), name.end());
    packet.push_back(0);
    packet.insert(packet.end(), mode.begin(), mode.end());
    packet.push_back(0);
    return packet;
}
Bytes Rrq(const std::string& name, const std::string& mode = "octet") {
    return Request(1, name, mode);
}
Bytes Wrq(const std::string& name = "/", const std::string& mode = "octet") {
    return Request(2, name, mode);
}
Bytes Header(std::uint8_t opcode, int number) {
    return Bytes{0, opcode, static_cast<std::uint8_t>(number >> 8),
                 static_cast<std::uint8_t>(number & 0xFF)};
}
Bytes Ack(int block) {
    return Header(4, block);
}
Bytes Data(int block, const Bytes& payload) {
    Bytes packet = Header(3, block);
    packet.insert(packet.end(), payload.begin(), payload.end());
    return packet;
}
Bytes Error(int code, const std::string& text) {
    Bytes packet = Header(5, code);
    packet.insert(packet.end(), text.begin(), text.end());
    packet.push_back(0);
    return packet;
}
Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes Pattern(std::size_t length) {
    Bytes image(length);
    for (std::size_t i = 0; i < length; ++i) {
        image[i] = static_cast<std::uint8_t>((i * 131 + i / 512) & 0xFF);
    }
    return image;
}

SimulatorOptions Options() {
    SimulatorOptions options;
    options.port = 0;
    options.timeLimitSeconds = 60;
    // Longer than the round trip of an acknowledgement ever takes, under Wine
    // on a busy machine too: a test that acknowledges and then expects no
    // resend must not meet one that went out before its answer arrived.
    options.retransmitMs = 500;
    options.maxRetransmits = 2;
    return options;
}

struct Reply {
    Bytes bytes;
    std::uint16_t port = 0;
};

// A client of one simulator: sends to its request port and reads replies.
class Client {
  public:
    explicit Client(const RunningSimulator& simulator) : simulator_(simulator) {}

    void Request(const Bytes& packet) { ASSERT_TRUE(peer_.SendTo(simulator_.Port(), packet)); }
    void SendTo(std::uint16_t port, const Bytes& packet) {
        ASSERT_TRUE(peer_.SendTo(port, packet));
    }
    // The next datagram, or an empty Reply with port 0 when none comes.
    Reply Next(int timeoutMs = kWaitMs) {
        Reply reply;
        if (!peer_.Receive(timeoutMs, &reply.bytes, &reply.port)) {
            reply = Reply{};
        }
        return reply;
    }
    bool Quiet(int timeoutMs = kQuietMs) { return Next(timeoutMs).port == 0; }

    // A whole write of `image` as the updater makes it; returns the ACK port.
    std::uint16_t Write(const Bytes& image) {
        Request(Wrq());
        Reply ack = Next();
        EXPECT_EQ(ack.bytes, Ack(0));
        std::size_t blocks = image.size() / 512 + 1;
        for (std::size_t block = 1; block <= blocks; ++block) {
            std::size_t start = (block - 1) * 512;
            std::size_t length = std::min<std::size_t>(512, image.size() - start);
            SendTo(ack.port, Data(static_cast<int>(block),
                                  Bytes(image.begin() + start, image.begin() + start + length)));
            ack = Next();
            EXPECT_EQ(ack.bytes, Ack(static_cast<int>(block)));
        }
        return ack.port;
    }

    SimUdpPeer& peer() { return peer_; }

  private:
    const RunningSimulator& simulator_;
    SimUdpPeer peer_;
};

std::vector<std::string> Lines(const RunningSimulator& simulator) {
    std::vector<std::string> lines;
    for (const LogEntry& entry : simulator.Log()) {
        lines.push_back(entry.line);
    }
    return lines;
}

// Sends and logging happen on the simulator's thread just after the reply a
// test has seen; give the log a moment to catch up.
bool WaitForLogSize(const RunningSimulator& simulator, std::size_t size) {
    for (int i = 0; i < kWaitMs / 10; ++i) {
        if (simulator.Log().size() >= size) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// ---------------------------------------------------------------------------

TEST(DeviceSimulatorRead, ServesInfoSysByKindFromATransferPort) {
    struct Case {
        InfoFile kind;
        std::string name;
        std::string mode;
        std::string content;
    } cases[] = {
        {InfoFile::Ap, "/info.sys", "octet", "1\r\n"},
        {InfoFile::E2, "/info.sys", "octet", "0\r\n"},
        {InfoFile::Ap, "info.sys", "OCTET", "1\r\n"},
        // netascii carries CR as CR NUL and LF as CR LF.
        {InfoFile::E2, "/info.sys", "netascii", std::string("0\r\0\r\n", 5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + " " + c.mode);
        SimulatorOptions options = Options();
        options.infoFile = c.kind;
        RunningSimulator simulator(options);
        ASSERT_TRUE(simulator.Running());
        Client client(simulator);
        client.Request(Rrq(c.name, c.mode));
        Reply data = client.Next();
        EXPECT_EQ(data.bytes, Data(1, Text(c.content)));
        EXPECT_NE(data.port, simulator.Port());
        EXPECT_NE(data.port, 0);
        client.SendTo(data.port, Ack(1));
        // A short file is complete with that ACK: nothing is resent.
        EXPECT_TRUE(client.Quiet(3 * options.retransmitMs));
    }
}

TEST(DeviceSimulatorRead, AnswersFileNotFoundForAMissingInfoSysOrAnyOtherFile) {
    SimulatorOptions missing = Options();
    missing.infoFile = InfoFile::Missing;
    RunningSimulator withoutInfo(missing);
    RunningSimulator withInfo(Options());
    ASSERT_TRUE(withoutInfo.Running() && withInfo.Running());

    Client a(withoutInfo);
    a.Request(Rrq("/info.sys"));
    EXPECT_EQ(a.Next().bytes, Error(1, "File not found"));

    Client b(withInfo);
    for (const char* name : {"/INFO.SYS", "/info.sys2", "/", "/firmware.bin"}) {
        b.Request(Rrq(name));
        Reply reply = b.Next();
        EXPECT_EQ(reply.bytes, Error(1, "File not found")) << name;
        EXPECT_NE(reply.port, withInfo.Port());
    }
}

TEST(DeviceSimulatorRead, ServesALongFileInLockStepAndResendsUnacknowledgedBlocks) {
    SimulatorOptions options = Options();
    std::string content(600, 'x');
    content[0] = '1';
    options.infoContent = content;
    RunningSimulator simulator(options);
    ASSERT_TRUE(simulator.Running());
    Client client(simulator);

    client.Request(Rrq("/info.sys"));
    Reply first = client.Next();
    EXPECT_EQ(first.bytes, Data(1, Text(content.substr(0, 512))));
    // Not acknowledged: resent maxRetransmits times, then given up.
    EXPECT_EQ(client.Next().bytes, first.bytes);
    EXPECT_EQ(client.Next().bytes, first.bytes);
    EXPECT_TRUE(client.Quiet(3 * options.retransmitMs));

    client.Request(Rrq("/info.sys"));
    first = client.Next();
    client.SendTo(first.port, Ack(1));
    Reply second = client.Next();
    EXPECT_EQ(second.bytes, Data(2, Text(content.substr(512))));
    EXPECT_EQ(second.port, first.port);
    client.SendTo(first.port, Ack(1));  // an old ACK is not answered
    client.SendTo(first.port, Ack(2));
    EXPECT_TRUE(client.Quiet(3 * options.retransmitMs));
}

TEST(DeviceSimulatorRead, ServesANewRequestWhileAnOldReadWaitsForItsAck) {
    SimulatorOptions options = Options();
    options.retransmitMs = 1000;
    options.infoContent = "1" + std::string(700, '-');
    RunningSimulator simulator(options);
    ASSERT_TRUE(simulator.Running());
    Client client(simulator);

    // As the updater's probe does: ACK block 1, then write from the same port.
    client.Request(Rrq("/info.sys"));
    Reply data = client.Next();
    client.SendTo(data.port, Ack(1));
    EXPECT_EQ(client.Next().bytes, Data(2, Text(std::string(189, '-'))));
    client.Request(Wrq());
    Reply ack = client.Next(500);
    EXPECT_EQ(ack.bytes, Ack(0));
    EXPECT_NE(ack.port, data.port);
}

// ---------------------------------------------------------------------------

TEST(DeviceSimulatorWrite, KeepsImagesOfAnyLengthAndReportsTheirDigest) {
    SimulatorOptions options = Options();
    options.imagePath = ::testing::TempDir() + "ethbox_sim_image.bin";
    std::remove(options.imagePath.c_str());
    RunningSimulator simulator(options);
    ASSERT_TRUE(simulator.Running());

    std::size_t count = 0;
    for (std::size_t length : {5120u, 5121u, 0u, 188415u}) {
        SCOPED_TRACE(length);
        Client client(simulator);
        Bytes image = Pattern(length);
        client.Write(image);
        ASSERT_TRUE(simulator.WaitForImages(++count, kWaitMs));
        ImageReport report = simulator.Images().back();
        EXPECT_EQ(report.bytes, image);
        EXPECT_EQ(report.sha256, Sha256Hex(image.data(), image.size()));

        std::FILE* file = std::fopen(options.imagePath.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        Bytes written(length + 1);
        written.resize(std::fread(written.data(), 1, written.size(), file));
        std::fclose(file);
        EXPECT_EQ(written, image);
    }
    std::remove(options.imagePath.c_str());
}

TEST(DeviceSimulatorWrite, ReacknowledgesARepeatedBlockWithoutStoringItTwice) {
    RunningSimulator simulator(Options());
    ASSERT_TRUE(simulator.Running());
    Client client(simulator);
    Bytes block1 = Pattern(512);
    client.Request(Wrq());
    Reply ack = client.Next();
    client.SendTo(ack.port, Data(1, block1));
    EXPECT_EQ(client.Next().bytes, Ack(1));
    client.SendTo(ack.port, Data(1, block1));
    EXPECT_EQ(client.Next().bytes, Ack(1));
    client.SendTo(ack.port, Data(3, Text("ahead")));  // out of order: ignored
    EXPECT_TRUE(client.Quiet());
    client.SendTo(ack.port, Data(2, Text("end")));
    EXPECT_EQ(client.Next().bytes, Ack(2));
    // The last acknowledgement may be lost: the port still answers a while.
    client.SendTo(ack.port, Data(2, Text("end")));
    EXPECT_EQ(client.Next().bytes, Ack(2));

    ASSERT_TRUE(simulator.WaitForImages(1, kWaitMs));
    Bytes expected = block1;
    expected.insert(expected.end(), {'e', 'n', 'd'});
    EXPECT_EQ(simulator.Images().at(0).bytes, expected);
    EXPECT_EQ(simulator.Images().size(), 1u);
}

TEST(DeviceSimulatorWrite, RefusesOtherNamesModesAndOversizedBlocks) {
    RunningSimulator simulator(Options());
    ASSERT_TRUE(simulator.Running());
    Client client(simulator);

    client.Request(Wrq("/firmware.bin"));
    EXPECT_EQ(client.Next().bytes, Error(2, "Access violation"));
    client.Request(Wrq("/", "netascii"));
    Reply refused = client.Next();
    ASSERT_GE(refused.bytes.size(), 4u);
    EXPECT_EQ(Bytes(refused.bytes.begin(), refused.bytes.begin() + 4), Header(5, 0));
    client.Request(Rrq("/info.sys", "mail"));
    EXPECT_EQ(client.Next().bytes, Error(0, "Unsupported mode"));
    client.Request(Bytes{0, 1, '/', 'x'});  // no terminators
    EXPECT_EQ(client.Next().bytes, Error(4, "Illegal TFTP operation"));

    client.Request(Wrq());
    Reply ack = client.Next();
    client.SendTo(ack.port, Data(1, Bytes(513, 0)));
    EXPECT_EQ(client.Next().bytes, Error(4, "Illegal TFTP operation"));
    EXPECT_TRUE(simulator.Images().empty());
}

TEST(DeviceSimulatorWrite, RefusesAStrangerAtTheTransferPortAndCarriesOn) {
    RunningSimulator simulator(Options());
    ASSERT_TRUE(simulator.Running());
    Client owner(simulator);
    Client stranger(simulator);

    owner.Request(Wrq());
    Reply ack = owner.Next();
    stranger.SendTo(ack.port, Data(1, Text("intruder")));
    Reply refusal = stranger.Next();
    EXPECT_EQ(refusal.bytes, Error(5, "Unknown transfer ID"));
    EXPECT_EQ(refusal.port, ack.port);
    EXPECT_TRUE(owner.Quiet());

    owner.SendTo(ack.port, Data(1, Text("mine")));
    EXPECT_EQ(owner.Next().bytes, Ack(1));
    ASSERT_TRUE(simulator.WaitForImages(1, kWaitMs));
    EXPECT_EQ(simulator.Images().at(0).bytes, Text("mine"));
}

// ---------------------------------------------------------------------------

TEST(DeviceSimulatorMisbehaviour, SilentAnswersNothing) {
    SimulatorOptions options = Options();
    options.silent = true;
    RunningSimulator simulator(options);
    ASSERT_TRUE(simulator.Running());
    Client client(simulator);
    client.Request(Rrq("/info.sys"));
    client.Request(Wrq());
    EXPECT_TRUE(client.Quiet());
    ASSERT_TRUE(WaitForLogSize(simulator, 2));
    for (const LogEntry& entry : simulator.Log()) {
        EXPECT_FALSE(entry.sent) << entry.line;
    }
}

TEST(DeviceSimulatorMisbehaviour, EmptyRepliesAnswerTheFirstRequests) {
    SimulatorOptions options = Options();
    options.emptyReplies = 2;
    RunningSimulator simulator(options);
    ASSERT_TRUE(simulator.Running());
    Client client(simulator);
    for (int i = 0; i < 2; ++i) {
        client.Request(Rrq("/info.sys"));
        Reply reply = client.Next();
        EXPECT_EQ(reply.port, simulator.Port());
        EXPECT_TRUE(reply.bytes.empty());
    }
    client.Request(Rrq("/info.sys"));
    EXPECT_EQ(client.Next().bytes, Data(1, Text("1\r\n")));
}

TEST(DeviceSimulatorMisbehaviour, AnswersAReadWithBlock2OrWithAnError) {
    SimulatorOptions block2 = Options();
    block2.probeBlock2First = true;
    block2.infoContent = std::string(512, '1') + "tail";
    SimulatorOptions error = Options();
    AddFault(error, "data1:error=2");
    RunningSimulator first(block2);
    RunningSimulator second(error);
    ASSERT_TRUE(first.Running() && second.Running());

    Client a(first);
    a.Request(Rrq("/info.sys"));
    Reply reply = a.Next();
    EXPECT_EQ(reply.bytes, Data(2, Text("tail")));
    a.SendTo(reply.port, Header(5, 0));  // what the updater answers it with
    EXPECT_TRUE(a.Quiet(3 * block2.retransmitMs));

    Client b(second);
    b.Request(Rrq("/info.sys"));
    EXPECT_EQ(b.Next().bytes, Error(2, "Access violation"));
}

// One write with the given misbehaviour: what arrives after WRQ and DATA 1.
struct AckStory {
    Reply afterWrq;
    std::vector<Reply> afterData1;
};

AckStory WriteTwoBlocks(const SimulatorOptions& options) {
    RunningSimulator simulator(options);
    EXPECT_TRUE(simulator.Running());
    Client client(simulator);
    AckStory story;
    client.Request(Wrq());
    story.afterWrq = client.Next();
    client.SendTo(story.afterWrq.port, Data(1, Pattern(512)));
    for (Reply reply = client.Next(); reply.port != 0; reply = client.Next(kQuietMs)) {
        story.afterData1.push_back(reply);
    }
    return story;
}

TEST(DeviceSimulatorMisbehaviour, AcknowledgementsDuplicatedDroppedWrongOrReplacedByData) {
    SimulatorOptions duplicate = Options();
    AddFault(duplicate, "ack1:duplicate");
    AckStory story = WriteTwoBlocks(duplicate);
    EXPECT_EQ(story.afterWrq.bytes, Ack(0));
    ASSERT_EQ(story.afterData1.size(), 2u);
    EXPECT_EQ(story.afterData1[0].bytes, Ack(1));
    EXPECT_EQ(story.afterData1[1].bytes, Ack(1));

    SimulatorOptions drop = Options();
    AddFault(drop, "ack1:drop");
    story = WriteTwoBlocks(drop);
    EXPECT_EQ(story.afterWrq.bytes, Ack(0));
    EXPECT_TRUE(story.afterData1.empty());

    SimulatorOptions wrong = Options();
    AddFault(wrong, "ack0:wrong-block");
    story = WriteTwoBlocks(wrong);
    EXPECT_EQ(story.afterWrq.bytes, Ack(1));

    SimulatorOptions data = Options();
    AddFault(data, "ack1:opcode=3");
    story = WriteTwoBlocks(data);
    EXPECT_EQ(story.afterWrq.bytes, Ack(0));
    ASSERT_EQ(story.afterData1.size(), 1u);
    EXPECT_EQ(story.afterData1[0].bytes, Header(3, 1));
}

TEST(DeviceSimulatorMisbehaviour, ADroppedAckIsLostOnceLikeAPacket) {
    SimulatorOptions options = Options();
    AddFault(options, "ack1:drop");
    RunningSimulator simulator(options);
    ASSERT_TRUE(simulator.Running());
    Client client(simulator);
    client.Request(Wrq());
    Reply ack = client.Next();
    client.SendTo(ack.port, Data(1, Text("x")));
    EXPECT_TRUE(client.Quiet());
    client.SendTo(ack.port, Data(1, Text("x")));  // a client that resends
    EXPECT_EQ(client.Next().bytes, Ack(1));
    ASSERT_TRUE(simulator.WaitForImages(1, kWaitMs));
    EXPECT_EQ(simulator.Images().at(0).bytes, Text("x"));
}

TEST(DeviceSimulatorMisbehaviour, ALateAckComesAfterTheGivenDelay) {
    SimulatorOptions options = Options();
    AddFault(options, "ack1:late");
    options.lateAckMs = 600;
    RunningSimulator simulator(options);
    ASSERT_TRUE(simulator.Running());
    Client client(simulator);
    client.Request(Wrq());
    Reply ack = client.Next();
    auto sent = std::chrono::steady_clock::now();
    client.SendTo(ack.port, Data(1, Text("x")));
    Reply late = client.Next();
    auto waited = std::chrono::steady_clock::now() - sent;
    EXPECT_EQ(late.bytes, Ack(1));
    EXPECT_GE(waited, std::chrono::milliseconds(550));
}

TEST(DeviceSimulatorMisbehaviour, AnswersFromASecondPortAfterTheFirstAnswer) {
    SimulatorOptions options = Options();
    options.answerFromOtherPort = true;
    RunningSimulator simulator(options);
    ASSERT_TRUE(simulator.Running());
    Client client(simulator);
    client.Request(Wrq());
    Reply ack0 = client.Next();
    EXPECT_EQ(ack0.bytes, Ack(0));
    client.SendTo(ack0.port, Data(1, Pattern(512)));
    Reply ack1 = client.Next();
    EXPECT_EQ(ack1.bytes, Ack(1));
    EXPECT_NE(ack1.port, ack0.port);
    EXPECT_NE(ack1.port, simulator.Port());
    // Whoever follows the port of each answer sends block 2 to the second port.
    client.SendTo(ack1.port, Data(2, Text("end")));
    Reply ack2 = client.Next();
    EXPECT_EQ(ack2.bytes, Ack(2));
    EXPECT_EQ(ack2.port, ack1.port);
    ASSERT_TRUE(simulator.WaitForImages(1, kWaitMs));
    EXPECT_EQ(simulator.Images().at(0).bytes.size(), 515u);

    // The log tells at which port each DATA block arrived.
    std::vector<std::uint16_t> dataPorts;
    for (const LogEntry& entry : simulator.Log()) {
        if (!entry.sent && entry.bytes.size() >= 2 && entry.bytes[1] == 3) {
            dataPorts.push_back(entry.localPort);
        }
    }
    EXPECT_EQ(dataPorts, (std::vector<std::uint16_t>{ack0.port, ack1.port}));
}

// ---------------------------------------------------------------------------

TEST(DeviceSimulatorLog, RecordsEveryDatagramWithItsBytesPortsAndALine) {
    RunningSimulator simulator(Options());
    ASSERT_TRUE(simulator.Running());
    Client client(simulator);
    // Three reads, each answered by the reader with something else than an ACK.
    const Bytes illegal = Error(4, "Illegal TFTP operation");
    const Bytes answers[] = {Bytes{}, Bytes{0, 9, 1}, Header(5, 0)};
    std::vector<std::uint16_t> ports;
    for (const Bytes& answer : answers) {
        client.Request(Rrq("/info.sys"));
        Reply data = client.Next();
        ports.push_back(data.port);
        client.SendTo(data.port, answer);
        if (ports.size() < 3) {
            EXPECT_EQ(client.Next().bytes, illegal);
        }
    }
    EXPECT_TRUE(client.Quiet());  // an ERROR from the reader just ends the read
    ASSERT_TRUE(WaitForLogSize(simulator, 11));
    std::vector<LogEntry> log = simulator.Log();

    EXPECT_FALSE(log[0].sent);
    EXPECT_EQ(log[0].bytes, Rrq("/info.sys"));
    EXPECT_EQ(log[0].remoteAddress, "127.0.0.1");
    EXPECT_EQ(log[0].remotePort, client.peer().port());
    EXPECT_EQ(log[0].localPort, simulator.Port());
    EXPECT_TRUE(log[1].sent);
    EXPECT_EQ(log[1].bytes, Data(1, Text("1\r\n")));
    EXPECT_EQ(log[1].localPort, ports[0]);
    EXPECT_EQ(log[3].bytes, illegal);

    const std::string us = "127.0.0.1:" + std::to_string(client.peer().port());
    const std::string server = ":" + std::to_string(simulator.Port());
    auto at = [](std::uint16_t port) { return ":" + std::to_string(port); };
    const std::vector<std::string> expected = {
        "recv " + us + " -> " + server + " len=18 RRQ file=/info.sys mode=octet",
        "send " + at(ports[0]) + " -> " + us + " len=7 DATA block=1 bytes=3",
        "recv " + us + " -> " + at(ports[0]) + " len=0 EMPTY",
        "send " + at(ports[0]) + " -> " + us +
            " len=27 ERROR code=4 text=\"Illegal TFTP operation\"",
        "recv " + us + " -> " + server + " len=18 RRQ file=/info.sys mode=octet",
        "send " + at(ports[1]) + " -> " + us + " len=7 DATA block=1 bytes=3",
        "recv " + us + " -> " + at(ports[1]) + " len=3 ?? opcode=9",
        "send " + at(ports[1]) + " -> " + us +
            " len=27 ERROR code=4 text=\"Illegal TFTP operation\"",
        "recv " + us + " -> " + server + " len=18 RRQ file=/info.sys mode=octet",
        "send " + at(ports[2]) + " -> " + us + " len=7 DATA block=1 bytes=3",
        "recv " + us + " -> " + at(ports[2]) + " len=4 ERROR code=0 text=(none)",
    };
    EXPECT_EQ(Lines(simulator), expected);
}

TEST(DeviceSimulatorLog, PrintsReadyAndImageLinesThroughTheSink) {
    SimulatorOptions options = Options();
    options.timeLimitSeconds = 1;
    DeviceSimulator simulator(options);
    std::vector<std::string> lines;
    simulator.SetLineSink(
        [](const std::string& line, void* context) {
            static_cast<std::vector<std::string>*>(context)->push_back(line);
        },
        &lines);
    ASSERT_TRUE(simulator.Bind());
    std::uint16_t port = simulator.BoundPort();
    std::thread client([port] {
        SimUdpPeer peer;
        std::vector<std::uint8_t> reply;
        std::uint16_t from = 0;
        peer.SendTo(port, Wrq());
        if (peer.Receive(kWaitMs, &reply, &from)) {
            peer.SendTo(from, Data(1, Text("abc")));
            peer.Receive(kWaitMs, &reply, &from);
        }
    });
    simulator.Run();  // returns at the time limit
    client.join();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "ready 127.0.0.1:" + std::to_string(port));
    bool imageLine = false;
    for (const std::string& line : lines) {
        imageLine =
            imageLine || line ==
                             "image length=3 sha256="
                             "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    }
    EXPECT_TRUE(imageLine);
}

// ---------------------------------------------------------------------------

TEST(DeviceSimulatorLifetime, RunEndsAtTheTimeLimitOrOnStop) {
    SimulatorOptions limited = Options();
    limited.timeLimitSeconds = 1;
    DeviceSimulator first(limited);
    ASSERT_TRUE(first.Bind());
    auto run = std::async(std::launch::async, [&] { first.Run(); });
    EXPECT_EQ(run.wait_for(std::chrono::seconds(20)), std::future_status::ready);

    SimulatorOptions unlimited = Options();
    unlimited.timeLimitSeconds = 0;
    DeviceSimulator second(unlimited);
    ASSERT_TRUE(second.Bind());
    run = std::async(std::launch::async, [&] { second.Run(); });
    EXPECT_EQ(run.wait_for(std::chrono::milliseconds(1200)), std::future_status::timeout);
    second.Stop();
    EXPECT_EQ(run.wait_for(std::chrono::seconds(20)), std::future_status::ready);
}

TEST(DeviceSimulatorLifetime, RefusesToBindOutsideLoopbackUnlessAllowed) {
    for (const char* address : {"0.0.0.0", "192.168.0.202", "10.1.2.3", "127.0.0", "localhost"}) {
        SimulatorOptions options = Options();
        options.bindAddress = address;
        DeviceSimulator simulator(options);
        EXPECT_FALSE(simulator.Bind()) << address;
        EXPECT_FALSE(simulator.Error().empty());
    }
    SimulatorOptions any = Options();
    any.bindAddress = "0.0.0.0";
    any.allowAnyAddress = true;
    DeviceSimulator simulator(any);
    EXPECT_TRUE(simulator.Bind()) << simulator.Error();

    SimulatorOptions other = Options();
    other.bindAddress = "127.0.0.2";
    EXPECT_TRUE(DeviceSimulator(other).Bind());
}

TEST(DeviceSimulatorCommandLine, TurnsSwitchesIntoOptions) {
    SimCommandLine commandLine;
    std::string error;
    ASSERT_TRUE(ParseSimCommandLine({"--port", "0", "--kind", "none", "--late-ms", "250",
                                     "--answer-from-other-port", "--empty-replies", "2"},
                                    &commandLine, &error))
        << error;
    EXPECT_EQ(commandLine.options.port, 0);
    EXPECT_EQ(commandLine.options.infoFile, InfoFile::Missing);
    EXPECT_EQ(commandLine.options.lateAckMs, 250);
    EXPECT_TRUE(commandLine.options.answerFromOtherPort);
    EXPECT_EQ(commandLine.options.emptyReplies, 2);
    EXPECT_TRUE(commandLine.options.faults.empty());

    for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{{"--port", "65536"},
                                                                              {"--port"},
                                                                              {"--kind", "ab"},
                                                                              {"--drop-ack", "1x"},
                                                                              {"--frobnicate"}}) {
        SimCommandLine ignored;
        EXPECT_FALSE(ParseSimCommandLine(bad, &ignored, &error)) << bad[0];
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Faulty answers (--fault ANSWER:KIND) at any block of a write or a read.

#include "sim_faults.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

struct Arrival {
    Reply reply;
    long long afterMs;  // since the packet that prompted the first one
};

// Everything that arrives until the client has heard nothing for kQuietMs.
std::vector<Arrival> ArrivalsUntilQuiet(Client& client, SteadyClock::time_point since) {
    std::vector<Arrival> arrivals;
    for (Reply reply = client.Next(kQuietMs); reply.port != 0; reply = client.Next(kQuietMs)) {
        const auto waited = SteadyClock::now() - since;
        arrivals.push_back(
            {reply, std::chrono::duration_cast<std::chrono::milliseconds>(waited).count()});
    }
    return arrivals;
}

SimulatorOptions WithFaults(SimulatorOptions options, const std::vector<std::string>& texts) {
    for (const std::string& text : texts) {
        AddFault(options, text);
    }
    return options;
}

Bytes Retagged(Bytes packet, std::uint8_t opcode) {
    packet[1] = opcode;
    return packet;
}

std::vector<Bytes> BytesOf(const std::vector<Arrival>& arrivals) {
    std::vector<Bytes> bytes;
    for (const Arrival& arrival : arrivals) {
        bytes.push_back(arrival.reply.bytes);
    }
    return bytes;
}

TEST(DeviceSimulatorFaultyAnswers, SpoilTheWritesAckOfAnyBlockAsAsked) {
    const struct {
        const char* what;
        std::vector<std::string> faults;
        std::vector<Bytes> arrive;  // after DATA 1
        bool fromOtherPort;         // than ACK 0's
        bool goesOn;                // DATA 2, sent to where the last answer came from, is taken
        int lateMs;
    } cases[] = {
        {"lost", {"ack1:drop"}, {}, false, true, 0},
        {"twice", {"ack1:duplicate"}, {Ack(1), Ack(1)}, false, true, 0},
        {"late", {"ack1:late"}, {Ack(1)}, false, true, 150},
        {"numbered 2", {"ack1:wrong-block"}, {Ack(2)}, false, true, 0},
        {"with opcode 5", {"ack1:opcode=5"}, {Header(5, 1)}, false, true, 0},
        {"empty", {"ack1:empty"}, {Bytes{}}, false, true, 0},
        {"ERROR 3",
         {"ack1:error=3"},
         {Error(3, "Disk full or allocation exceeded")},
         false,
         false,
         0},
        {"from another port", {"ack1:other-port"}, {Ack(1)}, true, true, 0},
        {"two faults at once", {"ack1:other-port", "ack1:wrong-block"}, {Ack(2)}, true, true, 0},
        {"faults at other answers",
         {"ack3:drop", "data1:empty", "data2:drop"},
         {Ack(1)},
         false,
         true,
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatorOptions options = WithFaults(Options(), c.faults);
        options.lateAckMs = c.lateMs;
        RunningSimulator simulator(options);
        ASSERT_TRUE(simulator.Running());
        Client client(simulator);
        client.Request(Wrq());
        const Reply ack0 = client.Next();
        ASSERT_EQ(ack0.bytes, Ack(0));
        const auto sent = SteadyClock::now();
        client.SendTo(ack0.port, Data(1, Pattern(512)));
        const std::vector<Arrival> arrivals = ArrivalsUntilQuiet(client, sent);
        EXPECT_EQ(BytesOf(arrivals), c.arrive);
        std::uint16_t answeredFrom = ack0.port;
        if (!arrivals.empty()) {
            answeredFrom = arrivals.back().reply.port;
            EXPECT_EQ(answeredFrom != ack0.port, c.fromOtherPort);
            EXPECT_GE(arrivals.front().afterMs, c.lateMs);
        }

        client.SendTo(answeredFrom, Data(2, Text("end")));
        const Reply last = client.Next(c.goesOn ? kWaitMs : kQuietMs);
        EXPECT_EQ(last.bytes, c.goesOn ? Ack(2) : Bytes{});
        if (c.goesOn) {
            EXPECT_EQ(last.port, ack0.port) << "only the spoiled answer comes from elsewhere";
            ASSERT_TRUE(simulator.WaitForImages(1, kWaitMs));
            EXPECT_EQ(simulator.Images().at(0).bytes.size(), 515u);
        }
    }
}

TEST(DeviceSimulatorFaultyAnswers, SpoilOnlyTheFirstSendingOfAReadsData) {
    const Bytes data1 = Data(1, Text("1\r\n"));
    const struct {
        const char* what;
        std::vector<std::string> faults;
        std::vector<Bytes> arrive;  // the answer, then a resend, as nobody acknowledges
        bool firstFromOtherPort;    // than the resend's
    } cases[] = {
        {"lost", {"data1:drop"}, {data1}, false},
        {"twice", {"data1:duplicate"}, {data1, data1, data1}, false},
        {"numbered 2", {"data1:wrong-block"}, {Data(2, Text("1\r\n")), data1}, false},
        {"with opcode 4", {"data1:opcode=4"}, {Retagged(data1, 4), data1}, false},
        {"empty", {"data1:empty"}, {Bytes{}, data1}, false},
        // ERROR ends the read: nothing is resent.
        {"ERROR 1", {"data1:error=1"}, {Error(1, "File not found")}, false},
        {"from another port", {"data1:other-port"}, {data1, data1}, true},
        {"a fault at another block", {"data2:empty", "ack1:drop"}, {data1, data1}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatorOptions options = WithFaults(Options(), c.faults);
        options.retransmitMs = kQuietMs / 4;
        options.maxRetransmits = 1;
        RunningSimulator simulator(options);
        ASSERT_TRUE(simulator.Running());
        Client client(simulator);
        const auto sent = SteadyClock::now();
        client.Request(Rrq("/info.sys"));
        const std::vector<Arrival> arrivals = ArrivalsUntilQuiet(client, sent);
        EXPECT_EQ(BytesOf(arrivals), c.arrive);
        if (arrivals.size() >= 2) {
            EXPECT_EQ(arrivals.front().reply.port != arrivals.back().reply.port,
                      c.firstFromOtherPort);
        }
    }
}

// A second port that the reader is acknowledged through ends the read there.
TEST(DeviceSimulatorFaultyAnswers, TheOtherPortTakesThePeersNextPacket) {
    SimulatorOptions options = WithFaults(Options(), {"data1:other-port"});
    options.retransmitMs = kQuietMs;
    RunningSimulator simulator(options);
    ASSERT_TRUE(simulator.Running());
    Client client(simulator);
    client.Request(Rrq("/info.sys"));
    const Reply data = client.Next();
    ASSERT_EQ(data.bytes, Data(1, Text("1\r\n")));
    client.SendTo(data.port, Ack(1));
    EXPECT_TRUE(client.Quiet(kQuietMs * 2)) << "the read went on resending";
}

TEST(DeviceSimulatorFaultyAnswers, ReadsAndWritesFaultsAsText) {
    const struct {
        const char* text;
        bool valid;
        FaultyAnswer fault;
    } cases[] = {
        {"ack0:drop", true, {false, 0, AnswerFault::Drop, 0}},
        {"ack368:duplicate", true, {false, 368, AnswerFault::Duplicate, 0}},
        {"ack65535:late", true, {false, 65535, AnswerFault::Late, 0}},
        {"data1:wrong-block", true, {true, 1, AnswerFault::WrongBlock, 0}},
        {"ack7:opcode=0", true, {false, 7, AnswerFault::WrongOpcode, 0}},
        {"data2:empty", true, {true, 2, AnswerFault::Empty, 0}},
        {"ack3:error=65535", true, {false, 3, AnswerFault::Error, 65535}},
        {"data1:other-port", true, {true, 1, AnswerFault::OtherPort, 0}},
        {"ack3", false, {}},
        {"ack:drop", false, {}},
        {"ack-1:drop", false, {}},
        {"ack65536:drop", false, {}},
        {"data0:drop", false, {}},
        {"block3:drop", false, {}},
        {"ack3:lost", false, {}},
        {"ack3:error", false, {}},
        {"ack3:error=", false, {}},
        {"ack3:opcode=70000", false, {}},
        {"ack3:drop=1", false, {}},
        {"ACK3:drop", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        FaultyAnswer fault;
        std::string error;
        ASSERT_EQ(ParseFaultyAnswer(c.text, &fault, &error), c.valid) << error;
        if (!c.valid) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(fault.inRead, c.fault.inRead);
        EXPECT_EQ(fault.block, c.fault.block);
        EXPECT_EQ(fault.fault, c.fault.fault);
        EXPECT_EQ(fault.value, c.fault.value);
        EXPECT_EQ(FaultyAnswerText(fault), c.text);
    }

    SimCommandLine commandLine;
    std::string error;
    // The per-block switches are other spellings of faulty answers, kept in order.
    ASSERT_TRUE(ParseSimCommandLine(
        {"--fault", "ack3:drop", "--drop-ack", "5", "--duplicate-ack", "6", "--late-ack", "7",
         "--wrong-ack", "8", "--data-instead-of-ack", "4", "--read-error", "2"},
        &commandLine, &error))
        << error;
    std::vector<std::string> all;
    for (const FaultyAnswer& fault : commandLine.options.faults) {
        all.push_back(FaultyAnswerText(fault));
    }
    EXPECT_EQ(all,
              (std::vector<std::string>{"ack3:drop", "ack5:drop", "ack6:duplicate", "ack7:late",
                                        "ack8:wrong-block", "ack4:opcode=3", "data1:error=2"}));
    EXPECT_FALSE(ParseSimCommandLine({"--fault", "ack3:nothing"}, &commandLine, &error));
    EXPECT_NE(error.find("--fault"), std::string::npos);
    EXPECT_FALSE(ParseSimCommandLine({"--fault"}, &commandLine, &error));
}

}  // namespace
