#include "sequencer/update_sequencer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/outcome_detail.h"
#include "common/launch_options.h"
#include "device_simulator.h"
#include "platform/sha256.h"
#include "support/endpoint_fixture.h"
#include "support/faulty_answers.h"
#include "support/firmware_file.h"
#include "support/posted_calls.h"
#include "support/recording_window.h"
#include "support/simulator_log.h"
#include "transfer/image_upload.h"
#include "transfer/tftp_endpoint.h"

namespace {

using Clock = std::chrono::steady_clock;
using Trace = std::vector<std::string>;
using Misbehaviour = void (*)(SimulatorOptions&);

// Not 127.0.0.1: the device listens here only, so a datagram sent anywhere
// else never reaches it.
constexpr char kDeviceAddress[] = "127.0.0.2";
constexpr std::uint32_t kDeviceAddressValue = 0x7F000002;

constexpr int kReadRequest = 1;
constexpr int kWriteRequest = 2;

// More ticks than the largest image with every probe retry needs.
constexpr int kTickLimit = 1000;

struct Launch {
    DeviceKind kind;
    bool probe;
};
constexpr Launch kAp{DeviceKind::Ap, true};
constexpr Launch kE2{DeviceKind::E2, true};
constexpr Launch kApUnchecked{DeviceKind::Ap, false};  // "/chkoff"

void Behaves(SimulatorOptions&) {}

long long MillisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

// A point of an update between two ticks: the state, and within it how far
// the transfer or the flash writing has come (-1: any).
struct Moment {
    SequencerState state;
    int progress = -1;  // the last block sent, or the seconds counted

    bool Now() const {
        const int reached = state == SequencerState::DeviceWriting ? updateSequencer.tickCount
                                                                   : uploadState.blockNumber;
        return updateSequencer.state == state && (progress < 0 || reached == progress);
    }
};

// Where two traces part, with a few lines of context, rather than two walls of lines.
void ExpectTrace(const Trace& actual, const Trace& expected) {
    const auto parted =
        std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    if (parted.first == actual.end() && parted.second == expected.end()) {
        return;
    }
    const std::size_t at = static_cast<std::size_t>(parted.first - actual.begin());
    auto context = [at](const Trace& trace) {
        std::string lines;
        for (std::size_t i = at >= 3 ? at - 3 : 0; i < trace.size() && i < at + 4; ++i) {
            lines += (i == at ? "  > " : "    ") + std::to_string(i) + ": " + trace[i] + "\n";
        }
        return lines;
    };
    ADD_FAILURE() << "the trace parts at line " << at << " (" << actual.size() << " lines, "
                  << expected.size() << " expected)\nactual:\n"
                  << context(actual) << "expected:\n"
                  << context(expected);
}

// What the window must see in an update that succeeds: `emptyAnswers` probe
// retries (-1: no probe), the transfer of an image of `size` bytes with one
// step per stepBlocks + 1 blocks, eleven seconds of flash writing, M6.
Trace SuccessTrace(int emptyAnswers, long size) {
    Trace trace = {"arm 30"};
    auto tick = [&trace](std::initializer_list<std::string> lines) {
        trace.push_back("kill");
        trace.insert(trace.end(), lines);
    };
    if (emptyAnswers >= 0) {
        for (int retry = 0; retry < emptyAnswers; ++retry) {
            tick({"arm 30"});
        }
        tick({"arm 30"});
    }
    tick({"status S2", "step 10", "arm 50"});
    const long wholeBlocks = size / 512;
    const long stepBlocks = wholeBlocks / 10;
    int position = 10;
    long sinceStep = 0;
    for (long block = 1; block <= wholeBlocks; ++block) {
        if (++sinceStep > stepBlocks) {
            sinceStep = 0;
            position += 10;
            tick({"step " + std::to_string(position), "arm 30"});
        } else {
            tick({"arm 30"});
        }
    }
    tick({"status S3", "reset", "disable cancel", "arm 1000"});
    for (int second = 1; second <= 10; ++second) {
        tick({"step " + std::to_string(second * 10), "arm 1000"});
    }
    tick({"message M6 none", "end 1"});
    trace.insert(trace.end(), {"destroyed", "kill"});
    return trace;
}

class UpdateSequencerTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(calls.ok()); }
    void TearDown() override {
        CloseEndpoint();
        launchOptions = LaunchOptions{};
        deviceRequestPort = kTftpServerPort;
    }

    // A fresh device at kDeviceAddress and the launch aimed at it.
    void Prepare(Misbehaviour misbehave, Launch launch, const FirmwareFile& file) {
        SimulatorOptions options;
        options.bindAddress = kDeviceAddress;
        options.port = 0;
        misbehave(options);
        sim = std::make_unique<RunningSimulator>(options);
        ASSERT_TRUE(sim->Running()) << "the simulated device cannot bind " << kDeviceAddress;
        deviceRequestPort = sim->Port();
        SetTypedAddress(kDeviceAddress);
        std::snprintf(launchOptions.firmwareName, sizeof launchOptions.firmwareName, "%s",
                      file.name().c_str());
        launchOptions.deviceKind = launch.kind;
        launchOptions.probeEnabled = launch.probe;
    }

    // Plays the window from its creation to its destruction (PlayWindow),
    // noting when each tick starts and returns. `beforeTick` runs before each
    // tick, as whatever the user does between ticks would.
    void Run(RecordingWindow& window, const std::function<void()>& beforeTick = {}) {
        bool firstLook = true;
        const bool started = PlayWindow(
            window, kTickLimit,
            [&] {
                if (firstLook) {
                    firstLook = false;
                    EXPECT_TRUE(updateSequencer.busy) << "a running update shows the wait cursor";
                }
                if (beforeTick) {
                    beforeTick();
                }
                tickStarted = Clock::now();
            },
            [&] { tickReturned = Clock::now(); });
        ExpectOneEnding(window);
        EXPECT_EQ(updateSequencer.busy, started)
            << "the cursor stays as it was until the next Start";
    }

    // Whatever happened, the window ended once, with one message, its timer
    // dead, the bar within its range and the endpoint closed.
    static void ExpectOneEnding(const RecordingWindow& window) {
        EXPECT_EQ(window.messages.size(), 1u);
        EXPECT_EQ(window.endCount, 1);
        EXPECT_FALSE(window.timerArmedAtMessage);
        EXPECT_FALSE(window.timerArmed);
        EXPECT_LE(window.highestPosition, 100);
        const Trace& trace = window.trace;
        ASSERT_GE(trace.size(), 4u);
        EXPECT_EQ(trace[trace.size() - 4].rfind("message ", 0), 0u) << trace[trace.size() - 4];
        EXPECT_EQ(trace[trace.size() - 3].rfind("end ", 0), 0u)
            << "nothing between message and end";
        EXPECT_EQ(trace[trace.size() - 2], "destroyed") << "nothing after the end";
        EXPECT_EQ(trace.back(), "kill");
        EXPECT_EQ(window.endResult, window.messages.at(0) == UpdateMessage::Completed ? 1 : 0);
        EXPECT_EQ(updateSequencer.state, SequencerState::Idle);
        EXPECT_EQ(tftpEndpoint.socket, kInvalidSocket);
        EXPECT_FALSE(tftpEndpoint.socketLayerStarted);
    }

    // The requests that reached the device's request port. A marker sent there
    // last is read after everything sent before it, so once the device has
    // logged the marker it has logged them all.
    std::vector<int> RequestsOnTheWire() {
        static const Bytes kMarker = {0, 0x7F, 'e', 'n', 'd'};
        std::vector<int> opcodes;
        const bool layer = StartSocketLayer();
        const SocketHandle socket = OpenUdpSocket();
        EXPECT_TRUE(
            SendDatagram(socket, kDeviceAddressValue, sim->Port(), kMarker.data(), kMarker.size()));
        const auto giveUp = Clock::now() + std::chrono::seconds(5);
        for (bool seen = false; !seen;) {
            opcodes.clear();
            for (const LogEntry& entry : LoggedDatagrams(*sim, false)) {
                if (entry.bytes == kMarker) {
                    seen = true;
                } else if (entry.localPort == sim->Port()) {
                    opcodes.push_back(LoggedOpcode(entry));
                }
            }
            if (!seen && Clock::now() > giveUp) {
                ADD_FAILURE() << "the device never logged the marker";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        CloseUdpSocket(socket);
        if (layer) {
            StopSocketLayer();
        }
        return opcodes;
    }

    std::unique_ptr<RunningSimulator> sim;
    PostedCalls calls;
    Clock::time_point tickStarted;
    Clock::time_point tickReturned;
};

TEST_F(UpdateSequencerTest, EachFailureEndsWithItsOneMessageAndIcon) {
    // 64 characters that would name the device, were they not too many for the endpoint.
    static const std::string kTooLong = "127.0.0." + std::string(55, '0') + "2";
    const struct {
        const char* what;
        Misbehaviour device;
        Launch launch;
        long imageSize;  // < 0: no file
        const char* message;
        const char* detail;  // what the record says was observed
        int readRequests;
        int writeRequests;
        bool deviceKeptImage;
        const std::string* address = nullptr;  // null: the device's
    } cases[] = {
        // {file}: the path where the program looked, the firmware file's.
        {"no firmware file", Behaves, kAp, -1, "M1 exclamation",
         "ファイルが見つかりません。ファイルの場所: {file}", 0, 0, false},
        {"firmware file too short", Behaves, kAp, 5119, "M1 exclamation",
         "ファイルが小さすぎます(5119バイト、5120バイト以上が必要)。ファイルの場所: {file}", 0, 0,
         false},
        {"address too long", Behaves, kAp, 5120, "M2 exclamation",
         "IPアドレスが63文字を超えています", 0, 0, false, &kTooLong},
        {"e2 asked, no /info.sys", [](SimulatorOptions& o) { o.infoFile = InfoFile::Missing; }, kE2,
         5120, "M3 exclamation",
         "\"/info.sys\"の読み出し: ERRORパケット(コード1「File not found」)", 1, 0, false},
        {"e2 asked, device names 1", Behaves, kE2, 5120, "M3 exclamation",
         "\"/info.sys\"の読み出し: 装置の種別が違います(先頭\"1\"はap)", 1, 0, false},
        {"ap asked, device names 0", [](SimulatorOptions& o) { o.infoFile = InfoFile::E2; }, kAp,
         5120, "M3 exclamation", "\"/info.sys\"の読み出し: 装置の種別が違います(先頭\"0\"はe2)", 1,
         0, false},
        {"/info.sys names no kind", [](SimulatorOptions& o) { o.infoContent = "x\r\n"; }, kAp, 5120,
         "M3 exclamation", "\"/info.sys\"の読み出し: 種別が読み取れません(先頭0x78)", 1, 0, false},
        {"silent device", [](SimulatorOptions& o) { o.silent = true; }, kAp, 5120, "M3 exclamation",
         "\"/info.sys\"の読み出し: 1秒以内に応答なし", 1, 0, false},
        {"block 2 first", [](SimulatorOptions& o) { o.probeBlock2First = true; }, kAp, 5120,
         "M3 exclamation", "\"/info.sys\"の読み出し: 予期しないパケット(オペコード3、番号2)", 1, 0,
         false},
        {"ERROR 2 to the read", [](SimulatorOptions& o) { AddFault(o, "data1:error=2"); }, kAp,
         5120, "M3 exclamation",
         "\"/info.sys\"の読み出し: ERRORパケット(コード2「Access violation」)", 1, 0, false},
        {"five empty answers", [](SimulatorOptions& o) { o.emptyReplies = 5; }, kAp, 5120,
         "M3 exclamation", "\"/info.sys\"の読み出し: 空の応答が5回続きました", 5, 0, false},
        {"two empty answers, then silence",
         [](SimulatorOptions& o) {
             o.emptyReplies = 2;
             AddFault(o, "data1:drop");
             o.maxRetransmits = 0;  // nor is it sent again
         },
         kAp, 5120, "M3 exclamation", "\"/info.sys\"の読み出し: 1秒以内に応答なし(空の応答2回の後)",
         3, 0, false},
        {"silent to the write", [](SimulatorOptions& o) { o.silent = true; }, kApUnchecked, 5120,
         "M4 exclamation", "書き込み要求: 1秒以内に応答なし", 0, 1, false},
        {"empty answer to the write", [](SimulatorOptions& o) { o.emptyReplies = 1; }, kApUnchecked,
         5120, "M4 exclamation", "書き込み要求: 空の応答", 0, 1, false},
        {"ACK 3 lost", [](SimulatorOptions& o) { AddFault(o, "ack3:drop"); }, kAp, 5120, "M5 stop",
         "ブロック3/11: 1秒以内に応答なし", 1, 1, false},
        {"ACK 3 twice", [](SimulatorOptions& o) { AddFault(o, "ack3:duplicate"); }, kAp, 5120,
         "M5 stop", "ブロック4/11: 予期しないパケット(オペコード4、番号3)", 1, 1, false},
        {"ACK 4 for block 3", [](SimulatorOptions& o) { AddFault(o, "ack3:wrong-block"); }, kAp,
         5120, "M5 stop", "ブロック3/11: 予期しないパケット(オペコード4、番号4)", 1, 1, false},
        {"DATA instead of ACK 3", [](SimulatorOptions& o) { AddFault(o, "ack3:opcode=3"); }, kAp,
         5120, "M5 stop", "ブロック3/11: 予期しないパケット(オペコード3、番号3)", 1, 1, false},
        // The device has every byte, but did not acknowledge the last block.
        {"wrong ACK of the last block",
         [](SimulatorOptions& o) { AddFault(o, "ack11:wrong-block"); }, kAp, 5120, "M5 stop",
         "ブロック11/11: 予期しないパケット(オペコード4、番号12)", 1, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FirmwareFile file(c.imageSize);
        Prepare(c.device, c.launch, file);
        if (c.address != nullptr) {
            SetTypedAddress(*c.address);
        }
        RecordingWindow window;
        Run(window);
        EXPECT_EQ(window.trace.at(window.trace.size() - 4), std::string("message ") + c.message);
        ASSERT_EQ(window.outcomes.size(), 1u);
        std::string detail = c.detail;
        const std::size_t file_at = detail.find("{file}");
        if (file_at != std::string::npos) {
            detail.replace(file_at, 6, file.path());
        }
        EXPECT_EQ(DescribeOutcome(window.outcomes[0]), detail);
        const std::vector<int> requests = RequestsOnTheWire();
        EXPECT_EQ(std::count(requests.begin(), requests.end(), kReadRequest), c.readRequests);
        EXPECT_EQ(std::count(requests.begin(), requests.end(), kWriteRequest), c.writeRequests);
        EXPECT_EQ(requests.size(), static_cast<std::size_t>(c.readRequests + c.writeRequests));
        EXPECT_EQ(sim->Images().size(), c.deviceKeptImage ? 1u : 0u);
    }
}

TEST_F(UpdateSequencerTest, CompletesWithTheProgressAndPacingOfEachImage) {
    const struct {
        const char* what;
        Misbehaviour device;
        Launch launch;
        long imageSize;
        int emptyAnswers;  // before the device names its kind
        int barAfterTransfer;
    } cases[] = {
        {"ap, smallest image", Behaves, kAp, 5120, 0, 60},
        {"e2, 81 whole blocks", [](SimulatorOptions& o) { o.infoFile = InfoFile::E2; }, kE2, 41472,
         0, 100},
        {"ap without /info.sys", [](SimulatorOptions& o) { o.infoFile = InfoFile::Missing; }, kAp,
         5121, 0, 60},
        {"four empty answers", [](SimulatorOptions& o) { o.emptyReplies = 4; }, kAp, 10240, 4, 70},
        {"/chkoff, largest image", Behaves, kApUnchecked, 188415, -1, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FirmwareFile file(c.imageSize);
        Prepare(c.device, c.launch, file);
        RecordingWindow window;
        Run(window);

        ExpectTrace(window.trace, SuccessTrace(c.launch.probe ? c.emptyAnswers : -1, c.imageSize));
        EXPECT_EQ(window.positionBeforeReset, c.barAfterTransfer);
        EXPECT_EQ(window.position, 100);
        EXPECT_EQ(std::count(window.armedIntervals.begin(), window.armedIntervals.end(), 1000), 11);
        EXPECT_EQ(window.statusTexts.size(), 2u);
        EXPECT_FALSE(window.cancelEnabled);
        EXPECT_EQ(window.endResult, 1);
        ASSERT_EQ(window.outcomes.size(), 1u);
        const UpdateOutcome& outcome = window.outcomes[0];
        EXPECT_EQ(outcome.block, c.imageSize / 512 + 1) << "every block, the last short one too";
        EXPECT_EQ(outcome.imageLength, c.imageSize);
        const std::string detail = DescribeOutcome(outcome);
        EXPECT_EQ(detail.rfind(std::to_string(outcome.block) + "ブロックを", 0), 0u) << detail;

        const std::vector<int> requests = RequestsOnTheWire();
        const int reads = c.launch.probe ? c.emptyAnswers + 1 : 0;
        ASSERT_EQ(requests.size(), static_cast<std::size_t>(reads) + 1);
        EXPECT_EQ(std::count(requests.begin(), requests.end(), kReadRequest), reads);
        EXPECT_EQ(requests.back(), kWriteRequest);

        ASSERT_TRUE(sim->WaitForImages(1, 5000));
        const ImageReport kept = sim->Images().at(0);
        EXPECT_TRUE(kept.bytes == file.bytes()) << "the device kept other bytes than the file's";
        EXPECT_EQ(kept.sha256, Sha256Hex(file.bytes().data(), file.bytes().size()));
    }
}

// Between two ticks, as a click on 中止 or the close box is handled.
TEST_F(UpdateSequencerTest, CancelBetweenTicksEndsWithM7InEveryState) {
    const struct {
        const char* what;
        Moment cancelAt;
        const char* lineBefore;   // the trace just before the cancel
        bool cancelButtonGreyed;  // only the close box is left
        bool deviceKeptImage;
        const char* detail;  // the phase the record names
    } cases[] = {
        {"probing", {SequencerState::Probing}, "arm 30", false, false, "装置の種別確認中に中止"},
        {"awaiting the write ACK",
         {SequencerState::AwaitingWriteAck},
         "arm 30",
         false,
         false,
         "転送中(ブロック0/82)に中止"},
        {"transferring",
         {SequencerState::Transferring, 5},
         "arm 30",
         false,
         false,
         "転送中(ブロック5/82)に中止"},
        {"device writing",
         {SequencerState::DeviceWriting, 4},
         "arm 1000",
         true,
         true,
         "ファームウェア更新中(4秒経過)に中止"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FirmwareFile file(41472);
        Prepare(Behaves, kAp, file);
        RecordingWindow window;
        Run(window, [&] {
            if (c.cancelAt.Now()) {
                EXPECT_EQ(window.cancelEnabled, !c.cancelButtonGreyed);
                Cancel(window);
            }
        });
        const Trace& trace = window.trace;
        ASSERT_GE(trace.size(), 6u);
        ExpectTrace(Trace(trace.end() - 6, trace.end()),
                    {c.lineBefore, "kill", "message M7 exclamation", "end 0", "destroyed", "kill"});
        EXPECT_EQ(sim->Images().size(), c.deviceKeptImage ? 1u : 0u);
        ASSERT_EQ(window.outcomes.size(), 1u);
        EXPECT_EQ(DescribeOutcome(window.outcomes[0]), c.detail);
    }
}

// 中止 clicked while a tick waits for a device that is late or silent: the
// tick ends at once and says nothing more.
TEST_F(UpdateSequencerTest, CancelDuringTheWaitOfATickEndsThatTickSilently) {
    const struct {
        const char* what;
        Misbehaviour device;
        Launch launch;
        Moment waitsNext;  // the next tick waits for the device
    } cases[] = {
        {"silent to the read",
         [](SimulatorOptions& o) { o.silent = true; },
         kAp,
         {SequencerState::Probing}},
        {"late ACK of the write",
         [](SimulatorOptions& o) { AddFault(o, "ack0:late"); },
         kAp,
         {SequencerState::AwaitingWriteAck}},
        {"silent to the write",
         [](SimulatorOptions& o) { o.silent = true; },
         kApUnchecked,
         {SequencerState::AwaitingWriteAck}},
        {"late ACK of block 3",
         [](SimulatorOptions& o) { AddFault(o, "ack3:late"); },
         kAp,
         {SequencerState::Transferring, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FirmwareFile file(5120);
        Prepare(c.device, c.launch, file);
        RecordingWindow window;
        bool posted = false;
        Clock::time_point cancelled;
        Run(window, [&] {
            if (!posted && c.waitsNext.Now()) {
                posted = true;
                calls.PostAfter(std::chrono::milliseconds(100), [&] {
                    cancelled = Clock::now();
                    Cancel(window);
                    Cancel(window);  // the dialog manager's own IDCANCEL, still inside the wait
                });
            }
        });
        calls.ExpireAll();
        ASSERT_TRUE(posted);
        const Trace& trace = window.trace;
        ASSERT_GE(trace.size(), 7u);
        // The tick's own kill, then Cancel's; the tick adds nothing after it.
        ExpectTrace(
            Trace(trace.end() - 7, trace.end()),
            {"arm 30", "kill", "kill", "message M7 exclamation", "end 0", "destroyed", "kill"});
        EXPECT_TRUE(tickStarted < cancelled && cancelled < tickReturned)
            << "the cancel did not run inside the tick's wait";
        // The cancel ended the wait: a wait left to its time-out cannot return
        // before it, however slow the machine, while this one returned early.
        EXPECT_LT(MillisecondsBetween(tickStarted, tickReturned), kReceiveTimeoutMs)
            << "the tick waited out its receive";
    }
}

// The window destroyed while a tick waits for a silent device (a message
// dispatched in the wait destroyed it): the tick returns to a window that is
// gone, so it shows nothing, arms nothing and sends nothing.
TEST_F(UpdateSequencerTest, ATickWhoseWindowIsDestroyedDuringItsWaitDoesNothingMore) {
    FirmwareFile file(5120);
    Prepare([](SimulatorOptions& o) { o.silent = true; }, kAp, file);
    RecordingWindow window;
    ASSERT_TRUE(Start(window));
    calls.PostAfter(std::chrono::milliseconds(100), [&window] {
        window.MarkDestroyed();
        Teardown(window);
    });
    Tick(window);
    calls.ExpireAll();
    ExpectTrace(window.trace, {"arm 30", "kill", "destroyed", "kill"});
    EXPECT_EQ(RequestsOnTheWire(), std::vector<int>{kReadRequest});
}

// The dialog manager can deliver a second cancel, and a stray tick can come,
// while a message is up or after the window was told to end.
TEST_F(UpdateSequencerTest, NothingMoreHappensOnceTheWindowIsEnding) {
    const struct {
        const char* what;
        Misbehaviour device;
        long imageSize;
        bool cancelMidTransfer;
        const char* message;
    } cases[] = {
        {"while M7 is up", Behaves, 5120, true, "message M7 exclamation"},
        {"while M1 is up", Behaves, 10, false, "message M1 exclamation"},
        {"while M5 is up", [](SimulatorOptions& o) { AddFault(o, "ack2:duplicate"); }, 5120, false,
         "message M5 stop"},
        {"while M6 is up", Behaves, 5120, false, "message M6 none"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FirmwareFile file(c.imageSize);
        Prepare(c.device, kAp, file);
        RecordingWindow window;
        window.whileMessageUp = [&window] {
            Cancel(window);
            Tick(window);
        };
        Run(window, [&] {
            if (c.cancelMidTransfer && Moment{SequencerState::Transferring}.Now()) {
                Cancel(window);
            }
        });
        EXPECT_EQ(window.trace.at(window.trace.size() - 4), c.message);

        const std::size_t lines = window.trace.size();
        Cancel(window);
        Tick(window);
        EXPECT_EQ(window.trace.size(), lines) << "a cancel or tick after the end did something";
    }
}

TEST_F(UpdateSequencerTest, EachStartBeginsAfresh) {
    // A cancel amid the transfer leaves blocks counted and the window ending,
    // a failure amid the probe's retries leaves them counted: the last
    // attempt, with retries and blocks of its own, must see none of it.
    const struct {
        Misbehaviour device;
        bool cancelMidTransfer;
        const char* message;
    } attempts[] = {
        {Behaves, true, "message M7 exclamation"},
        {[](SimulatorOptions& o) {
             o.emptyReplies = 2;
             o.infoFile = InfoFile::E2;
         },
         false, "message M3 exclamation"},
        {[](SimulatorOptions& o) { o.emptyReplies = 3; }, false, "message M6 none"},
    };
    FirmwareFile file(41472);
    RecordingWindow window;
    for (const auto& attempt : attempts) {
        SCOPED_TRACE(attempt.message);
        Prepare(attempt.device, kAp, file);
        window = RecordingWindow{};
        Run(window, [&] {
            if (attempt.cancelMidTransfer && Moment{SequencerState::Transferring, 7}.Now()) {
                Cancel(window);
            }
        });
        EXPECT_EQ(window.trace.at(window.trace.size() - 4), attempt.message);
    }
    ExpectTrace(window.trace, SuccessTrace(3, 41472));
}

TEST_F(UpdateSequencerTest, AStrayTickWithNoUpdateFailsWithM4) {
    updateSequencer = UpdateSequencer{};
    RecordingWindow window;
    Tick(window);
    ExpectTrace(window.trace, {"kill", "message M4 exclamation", "end 0"});
}

}  // namespace
