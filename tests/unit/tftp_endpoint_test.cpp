#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/winsock_receive_error.h"
#include "support/destination_listener.h"
#include "support/endpoint_fixture.h"
#include "support/wait_tasks.h"
#include "transfer/decimal_address.h"
#include "transfer/tftp_endpoint.h"
#include "transfer/tftp_packets.h"

#ifdef _WIN32
#include <winsock2.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

Bytes Pattern(std::size_t length) {
    Bytes bytes(length);
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    return bytes;
}

using TftpEndpointTest = EndpointWithRawPeer;

TEST_F(TftpEndpointTest, RequestsReachTheRequestPortByteForByte) {
    SendRequest(kProbeRequest, sizeof kProbeRequest);
    SendRequest(kWriteRequest, sizeof kWriteRequest);

    const RawUdpPeer::Datagram read = server.Receive();
    ASSERT_TRUE(read.received);
    EXPECT_EQ(read.bytes, (Bytes{0x00, 0x01, 0x2F, 0x69, 0x6E, 0x66, 0x6F, 0x2E, 0x73, 0x79, 0x73,
                                 0x00, 0x6F, 0x63, 0x74, 0x65, 0x74, 0x00}));
    EXPECT_EQ(read.sourcePort, EndpointPort());

    const RawUdpPeer::Datagram write = server.Receive();
    ASSERT_TRUE(write.received);
    EXPECT_EQ(write.bytes, (Bytes{0x00, 0x02, 0x2F, 0x00, 0x6F, 0x63, 0x74, 0x65, 0x74, 0x00}));
    EXPECT_EQ(write.sourcePort, read.sourcePort) << "both requests leave from the one local port";
}

TEST_F(TftpEndpointTest, RepliesGoToThePortTheAnsweredDatagramCameFrom) {
    ASSERT_TRUE(transfer.SendTo(EndpointPort(), {0x00, 0x03, 0x00, 0x01, '1'}));
    std::uint8_t buffer[kReceiveBufferSize];
    std::uint16_t sourcePort = 0;
    ASSERT_EQ(ReceiveFromTarget(buffer, &sourcePort), 5);
    ASSERT_EQ(sourcePort, transfer.port());
    ASSERT_NE(sourcePort, server.port());

    SendToPort(kAckOfBlock1, sizeof kAckOfBlock1, sourcePort);
    SendToPort(kErrorCode0, sizeof kErrorCode0, sourcePort);
    std::uint8_t packet[kDataPacketSize];
    const Bytes payload = Pattern(512);
    SendToPort(packet, BuildDataPacket(packet, 0x0102, payload.data(), 3), sourcePort);
    SendToPort(packet, BuildDataPacket(packet, 368, payload.data(), 512), sourcePort);
    SendToPort(packet, BuildDataPacket(packet, 11, nullptr, 0), sourcePort);

    const Bytes expected[] = {
        {0x00, 0x04, 0x00, 0x01},
        {0x00, 0x05, 0x00, 0x00},  // no message text and no terminator
        {0x00, 0x03, 0x01, 0x02, payload[0], payload[1], payload[2]},
        [&] {
            Bytes full{0x00, 0x03, 0x01, 0x70};
            full.insert(full.end(), payload.begin(), payload.end());
            return full;
        }(),
        {0x00, 0x03, 0x00, 0x0B},
    };
    for (const Bytes& bytes : expected) {
        const RawUdpPeer::Datagram got = transfer.Receive();
        ASSERT_TRUE(got.received);
        EXPECT_EQ(got.bytes, bytes);
        EXPECT_EQ(got.sourcePort, EndpointPort());
    }
    ExpectNothingMoreAt(server);
}

TEST_F(TftpEndpointTest, EmptyDatagramIsZeroBytesButSilenceIsAFailure) {
    ASSERT_TRUE(transfer.SendTo(EndpointPort(), {}));
    std::uint8_t buffer[kReceiveBufferSize];
    std::uint16_t sourcePort = 0;
    EXPECT_EQ(ReceiveFromTarget(buffer, &sourcePort), 0);
    EXPECT_EQ(sourcePort, transfer.port());

    const Clock::time_point start = Clock::now();
    EXPECT_EQ(ReceiveFromTarget(buffer, &sourcePort), -1);
    // Only sanity bounds: the wait is the one-second time-out, neither a poll
    // nor a longer time-out.
    const long long waited = MillisecondsSince(start);
    EXPECT_GE(waited, 900);
    EXPECT_LT(waited, 1600);
}

TEST_F(TftpEndpointTest, DatagramsUpTo1518BytesArriveWholeAndLargerOnesAreRefused) {
    const Bytes medium = Pattern(600);
    const Bytes largest = Pattern(kReceiveBufferSize);
    const Bytes oversize = Pattern(kReceiveBufferSize + 1);
    const Bytes after = {0x00, 0x04, 0x00, 0x07};
    ASSERT_TRUE(transfer.SendTo(EndpointPort(), medium));
    ASSERT_TRUE(transfer.SendTo(EndpointPort(), largest));
    ASSERT_TRUE(transfer.SendTo(EndpointPort(), oversize));
    ASSERT_TRUE(transfer.SendTo(EndpointPort(), after));

    std::uint8_t buffer[kReceiveBufferSize + 16];
    std::uint16_t sourcePort = 0;
    ASSERT_EQ(ReceiveFromTarget(buffer, &sourcePort), 600);
    EXPECT_EQ(BytesOf(buffer, 600), medium);

    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    ASSERT_EQ(ReceiveFromTarget(buffer, &sourcePort), static_cast<int>(kReceiveBufferSize));
    EXPECT_EQ(BytesOf(buffer, kReceiveBufferSize), largest);
    EXPECT_EQ(buffer[kReceiveBufferSize], 0xEE) << "wrote past the 1518 bytes it was given";

    EXPECT_EQ(ReceiveFromTarget(buffer, &sourcePort), -1);
    EXPECT_EQ(buffer[kReceiveBufferSize], 0xEE) << "wrote past the 1518 bytes it was given";

    // The oversize datagram is gone, not left queued before the next one.
    ASSERT_EQ(ReceiveFromTarget(buffer, &sourcePort), 4);
    EXPECT_EQ(BytesOf(buffer, 4), after);
}

TEST_F(TftpEndpointTest, AnInterruptWithNoReceiveWaitingDoesNotSpoilTheNextReceive) {
    InterruptReceive();
    ASSERT_TRUE(transfer.SendTo(EndpointPort(), {0x00, 0x04, 0x00, 0x00}));
    std::uint8_t buffer[kReceiveBufferSize];
    std::uint16_t sourcePort = 0;
    EXPECT_EQ(ReceiveFromTarget(buffer, &sourcePort), 4);
}

TEST_F(TftpEndpointTest, ADatagramArrivingDuringTheWaitEndsIt) {
    std::thread lateSender([this, port = EndpointPort()] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        transfer.SendTo(port, {0x00, 0x04, 0x00, 0x09});
    });
    std::uint8_t buffer[kReceiveBufferSize];
    std::uint16_t sourcePort = 0;
    const int received = ReceiveFromTarget(buffer, &sourcePort);
    lateSender.join();
    ASSERT_EQ(received, 4);
    EXPECT_EQ(BytesOf(buffer, 4), (Bytes{0x00, 0x04, 0x00, 0x09}));
}

TEST_F(TftpEndpointTest, AnAddressThatDoesNotParseSendsNothing) {
    for (const char* bad : {"127.0.0.256", "127.0.0", "localhost", ""}) {
        std::snprintf(tftpEndpoint.targetAddress, kTargetAddressSize, "%s", bad);
        SendRequest(kProbeRequest, sizeof kProbeRequest);
    }
    std::snprintf(tftpEndpoint.targetAddress, kTargetAddressSize, "%s", kRawPeerTarget);
    ExpectNothingMoreAt(server);
}

TEST(TftpEndpointLifecycle, ClosingTwiceOrAfterAFailedOpenIsHarmless) {
    RawUdpPeer server{kRawPeerAddress};
    ASSERT_TRUE(server.ok());
    deviceRequestPort = server.port();

    // 64 characters do not fit the 63 the endpoint holds: refused, not cut.
    SetTypedAddress(std::string(64 - 9, '0') + "127.0.0.2");
    EXPECT_FALSE(OpenEndpoint());
    EXPECT_FALSE(tftpEndpoint.socketLayerStarted);
    EXPECT_EQ(tftpEndpoint.socket, kInvalidSocket);
    CloseEndpoint();
    CloseEndpoint();

    // A closed endpoint neither sends nor waits.
    SendRequest(kWriteRequest, sizeof kWriteRequest);
    std::uint8_t buffer[kReceiveBufferSize];
    std::uint16_t sourcePort = 0;
    EXPECT_EQ(ReceiveFromTarget(buffer, &sourcePort), -1);

    // 63 characters fit exactly and still name 127.0.0.2.
    const std::string longest = std::string(63 - 9, '0') + "127.0.0.2";
    SetTypedAddress(longest);
    ASSERT_TRUE(OpenEndpoint());
    EXPECT_EQ(std::string(tftpEndpoint.targetAddress), longest);
    SendRequest(kWriteRequest, sizeof kWriteRequest);
    const RawUdpPeer::Datagram write = server.Receive();
    ASSERT_TRUE(write.received);
    EXPECT_EQ(write.bytes, BytesOf(kWriteRequest, sizeof kWriteRequest));
    CloseEndpoint();
    CloseEndpoint();
    EXPECT_FALSE(tftpEndpoint.socketLayerStarted);
    EXPECT_EQ(tftpEndpoint.socket, kInvalidSocket);

    // And it opens again afterwards, on a fresh socket.
    SetTypedAddress(kRawPeerTarget);
    ASSERT_TRUE(OpenEndpoint());
    SendRequest(kProbeRequest, sizeof kProbeRequest);
    EXPECT_TRUE(server.Receive().received);
    CloseEndpoint();
}

// One listener on every address at one port tells where each datagram went:
// the typed address, read as decimal, and nowhere else (a peer listening at
// 127.0.0.1 on that port would see nothing of a datagram sent to 127.0.0.10).
TEST(TftpEndpointTarget, DatagramsGoToTheTypedAddressAndNowhereElse) {
    DestinationListener device;
    DestinationListener transfer;
    ASSERT_TRUE(device.ok());
    ASSERT_TRUE(transfer.ok());
    deviceRequestPort = device.port();
    const struct {
        const char* typed;
        std::uint32_t destination;
    } cases[] = {
        {"127.0.0.10", 0x7F00000A},
        // Decimal: read as octal, this would be 127.0.0.8.
        {"127.000.000.010", 0x7F00000A},
        {"127.0.0.8", 0x7F000008},
        {"127.1.2.3", 0x7F010203},
        {"127.0.0.1", 0x7F000001},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        SetTypedAddress(c.typed);
        ASSERT_TRUE(OpenEndpoint());
        const std::uint16_t endpointPort = EndpointPort();

        SendRequest(kWriteRequest, sizeof kWriteRequest);
        const DestinationListener::Arrival request = device.Receive(3000);
        ASSERT_TRUE(request.received);
        EXPECT_EQ(request.destination, c.destination) << std::hex << request.destination;
        EXPECT_EQ(request.sourcePort, endpointPort);
        EXPECT_EQ(request.bytes, BytesOf(kWriteRequest, sizeof kWriteRequest));

        // A reply goes to the same address, at the port the answered datagram came from.
        ASSERT_TRUE(transfer.SendTo(endpointPort, {0, 3, 0, 1, '1'}));
        std::uint8_t buffer[kReceiveBufferSize];
        std::uint16_t sourcePort = 0;
        ASSERT_EQ(ReceiveFromTarget(buffer, &sourcePort), 5);
        SendToPort(kAckOfBlock1, sizeof kAckOfBlock1, sourcePort);
        const DestinationListener::Arrival ack = transfer.Receive(3000);
        ASSERT_TRUE(ack.received);
        EXPECT_EQ(ack.destination, c.destination) << std::hex << ack.destination;
        EXPECT_EQ(ack.bytes, BytesOf(kAckOfBlock1, sizeof kAckOfBlock1));
        CloseEndpoint();
    }
    EXPECT_FALSE(device.Receive(100).received);
    EXPECT_FALSE(transfer.Receive(100).received);
}

struct AddressCase {
    const char* text;
    bool valid;
    std::uint32_t address;
};

TEST(ParseDecimalAddress, ReadsFourDecimalGroupsAndNothingElse) {
    const std::string longest = std::string(63 - 11, '0') + "192.168.0.1";
    const std::string tooLong = std::string(64 - 11, '0') + "192.168.0.1";
    const AddressCase cases[] = {
        {"192.168.0.202", true, 0xC0A800CA},
        {"192.168.000.010", true, 0xC0A8000A},  // decimal, not octal 192.168.0.8
        {"010.008.009.0377", false, 0},         // 377 is above 255 in decimal
        {"010.008.009.000", true, 0x0A080900},
        {"0.0.0.0", true, 0},
        {"255.255.255.255", true, 0xFFFFFFFF},
        {"127.0.0.1", true, 0x7F000001},
        {"0000000255.1.1.1", true, 0xFF010101},  // many leading zeros are still decimal
        {longest.c_str(), true, 0xC0A80001},
        {tooLong.c_str(), false, 0},
        {"256.1.1.1", false, 0},
        {"1.1.1.1000", false, 0},
        {"99999999999999999999.1.1.1", false, 0},  // no overflow back into range
        {"192.168..1", false, 0},
        {"192.168.0.1.5", false, 0},
        {"192.168.0", false, 0},
        {".192.168.0.1", false, 0},
        {"192.168.0.1.", false, 0},
        {"192.168.0.", false, 0},
        {"192.168.0.1a", false, 0},
        {"192.168.0x1.1", false, 0},
        {"192.168.-1.1", false, 0},
        {"192.168.+1.1", false, 0},
        {" 192.168.0.1", false, 0},
        {"192.168.0.1 ", false, 0},
        {"192,168,0,1", false, 0},
        {"\xEF\xBC\x91.1.1.1", false, 0},  // a full-width digit is not an ASCII digit
        {"", false, 0},
        {"...", false, 0},
    };
    for (const AddressCase& c : cases) {
        std::uint32_t address = 0x12345678;
        EXPECT_EQ(ParseDecimalAddress(c.text, &address), c.valid) << '"' << c.text << '"';
        EXPECT_EQ(address, c.valid ? c.address : 0x12345678u)
            << '"' << c.text << "\" (a refused address leaves the result alone)";
    }
    std::uint32_t address = 0;
    EXPECT_FALSE(ParseDecimalAddress(nullptr, &address));
}

// Windows reports the refusal of an earlier datagram (an ICMP "port
// unreachable" for an acknowledgement sent to a transfer port the device had
// already closed) on the next receive; it must not fail the wait for the
// device's next answer. Linux and Wine never report it, so the decision is
// tested here, by Winsock's own error numbers.
TEST(OutcomeOfWinsockReceiveError, OnlyNothingYetAndAnEarlierRefusalKeepTheWaitGoing) {
    const struct {
        int error;
        const char* name;
        ReceiveErrorOutcome outcome;
    } cases[] = {
        {10035, "WSAEWOULDBLOCK", ReceiveErrorOutcome::KeepWaiting},
        {10054, "WSAECONNRESET", ReceiveErrorOutcome::KeepWaitingPortRefused},
        {10040, "WSAEMSGSIZE", ReceiveErrorOutcome::Fail},  // an oversize datagram
        {10038, "WSAENOTSOCK", ReceiveErrorOutcome::Fail},
        {10004, "WSAEINTR", ReceiveErrorOutcome::Fail},
        {10050, "WSAENETDOWN", ReceiveErrorOutcome::Fail},
        {10053, "WSAECONNABORTED", ReceiveErrorOutcome::Fail},
        {10093, "WSANOTINITIALISED", ReceiveErrorOutcome::Fail},
        {0, "no error", ReceiveErrorOutcome::Fail},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OutcomeOfWinsockReceiveError(c.error), c.outcome) << c.name;
    }
}

// What window procedures dispatched during the wait may do, and what the wait
// must make of it. Closing the endpoint interrupts the wait, which must then
// not touch its socket again: the next socket opened usually gets the same
// handle (the lowest free descriptor on POSIX; Wine reuses handles at once),
// and reading that one would steal a datagram meant for the new endpoint. A
// receive of the procedure's own on the same socket must leave the wait as
// it found it: still asleep on the socket and the messages both.
TEST_F(TftpEndpointTest, WhatIsDispatchedDuringTheWaitDecidesItsEnd) {
    const struct {
        const char* what;
        bool closeEndpoint;
        bool openAnother;
        bool receiveInside;   // sends a datagram to the endpoint and receives it itself
        bool sendToEndpoint;  // the datagram the wait is for, to the endpoint as it is then
        bool sendLater;       // that datagram comes with a second message instead
        int waitResult;
    } cases[] = {
        {"sends the datagram the wait is for", false, false, false, true, false, 4},
        {"closes the endpoint", true, false, false, false, false, -1},
        {"closes it and opens another, which a datagram reaches", true, true, false, true, false,
         -1},
        {"receives on the endpoint itself, then a message brings the datagram", false, false, true,
         false, true, 4},
    };
    const Bytes awaited = {0x00, 0x04, 0x00, 0x05};
    const Bytes takenInside = {0x00, 0x04, 0x00, 0x06};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetTypedAddress(kRawPeerTarget);
        ASSERT_TRUE(OpenEndpoint());
        const SocketHandle waitedOn = tftpEndpoint.socket;
        SocketHandle afterwards = kInvalidSocket;
        int receivedInside = -2;
        int tasksRun = 0;
        WaitTasks tasks;
        ASSERT_TRUE(tasks.ok());
        // Posted while the wait already sleeps, as a click would come.
        std::thread poster([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            tasks.Post([&] {
                ++tasksRun;
                if (c.closeEndpoint) {
                    CloseEndpoint();
                }
                if (c.openAnother) {
                    OpenEndpoint();
                }
                afterwards = tftpEndpoint.socket;
                if (c.receiveInside) {
                    std::uint8_t inside[kReceiveBufferSize];
                    std::uint16_t port = 0;
                    transfer.SendTo(EndpointPort(), takenInside);
                    receivedInside = ReceiveFromTarget(inside, &port);
                }
                if (c.sendToEndpoint) {
                    transfer.SendTo(EndpointPort(), awaited);
                }
            });
            if (c.sendLater) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                tasks.Post([&] {
                    ++tasksRun;
                    transfer.SendTo(EndpointPort(), awaited);
                });
            }
        });
        std::uint8_t buffer[kReceiveBufferSize];
        std::uint16_t sourcePort = 0;
        const Clock::time_point start = Clock::now();
        const int received = ReceiveFromTarget(buffer, &sourcePort);
        const long long waited = MillisecondsSince(start);
        poster.join();

        EXPECT_EQ(tasksRun, c.sendLater ? 2 : 1);
        ASSERT_EQ(received, c.waitResult);
        if (received > 0) {
            EXPECT_EQ(BytesOf(buffer, static_cast<std::size_t>(received)), awaited);
        }
        EXPECT_LT(waited, 800) << "the wait ends with what was dispatched, not at its time-out";
        if (c.receiveInside) {
            EXPECT_EQ(receivedInside, 4);
        }
        if (c.closeEndpoint && !c.openAnother) {
            EXPECT_EQ(tftpEndpoint.socket, kInvalidSocket);
        }
        if (c.openAnother) {
            ASSERT_EQ(afterwards, waitedOn)
                << "the case needs the new socket to get the closed one's handle";
            // Still there for the new endpoint, untouched by the old wait.
            ASSERT_EQ(ReceiveFromTarget(buffer, &sourcePort), 4);
            EXPECT_EQ(BytesOf(buffer, 4), awaited);
            EXPECT_EQ(sourcePort, transfer.port());
        }
        CloseEndpoint();
    }
}

#ifdef _WIN32
// The wait selects an event for the socket, which makes it non-blocking; once
// the receive is over the socket must block again, or a later call on it
// fails at once with WSAEWOULDBLOCK instead of waiting.
TEST_F(TftpEndpointTest, TheSocketBlocksAgainAfterAReceive) {
    const SOCKET socket = static_cast<SOCKET>(tftpEndpoint.socket);
    const struct {
        const char* what;
        bool datagramWaiting;
    } cases[] = {{"after a datagram", true}, {"after a time-out", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.datagramWaiting) {
            ASSERT_TRUE(transfer.SendTo(EndpointPort(), {0x00, 0x04, 0x00, 0x01}));
        }
        std::uint8_t buffer[kReceiveBufferSize];
        std::uint16_t sourcePort = 0;
        ASSERT_EQ(ReceiveDatagram(tftpEndpoint.socket, buffer, sizeof buffer, 50, &sourcePort),
                  c.datagramWaiting ? 4 : -1);

        const DWORD timeoutMs = 200;
        ASSERT_EQ(setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO,
                             reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs),
                  0);
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(
            recvfrom(socket, reinterpret_cast<char*>(buffer), sizeof buffer, 0, nullptr, nullptr),
            SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
        EXPECT_GE(MillisecondsSince(start), 150);
    }
    // And a send from it still goes out.
    SendRequest(kWriteRequest, sizeof kWriteRequest);
    EXPECT_EQ(server.Receive().bytes, BytesOf(kWriteRequest, sizeof kWriteRequest));
}

// The handles this process holds, from the system's list of all handles:
// Wine's GetProcessHandleCount always reports 0. The list's legacy entries
// hold the process id in 16 bits on Windows and in 32 on Wine.
long CountOwnHandles() {
    using QuerySystemInformation = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    constexpr ULONG kSystemHandleInformation = 16;
    constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
    struct HandleEntry {
        ULONG process;
        UCHAR objectType;
        UCHAR attributes;
        USHORT value;
        void* object;
        ULONG access;
    };
    struct HandleList {
        ULONG count;
        HandleEntry entries[1];
    };
    const auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr) {
        return -1;
    }
    std::vector<std::uint8_t> buffer(1 << 20);
    LONG status = 0;
    while ((status = query(kSystemHandleInformation, buffer.data(),
                           static_cast<ULONG>(buffer.size()), nullptr)) == kInfoLengthMismatch) {
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0) {
        return -1;
    }
    const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
    const ULONG self = GetCurrentProcessId() & 0xFFFF;
    long count = 0;
    for (ULONG i = 0; i < list->count; ++i) {
        if ((list->entries[i].process & 0xFFFF) == self) {
            ++count;
        }
    }
    return count;
}

// Each receive's event is its own and is closed when the receive ends: a
// thread that receives once and ends leaves no handle behind.
TEST_F(TftpEndpointTest, ReceivesOnShortLivedThreadsLeaveNoHandleBehind) {
    const auto receiveOnAThreadOfItsOwn = [] {
        std::thread([] {
            std::uint8_t buffer[kReceiveBufferSize];
            std::uint16_t sourcePort = 0;
            ReceiveDatagram(tftpEndpoint.socket, buffer, sizeof buffer, 1, &sourcePort);
        }).join();
    };
    for (int warmUp = 0; warmUp < 5; ++warmUp) {
        receiveOnAThreadOfItsOwn();
    }
    const long before = CountOwnHandles();
    ASSERT_GT(before, 0);
    constexpr int kThreads = 40;
    for (int i = 0; i < kThreads; ++i) {
        receiveOnAThreadOfItsOwn();
    }
    const long after = CountOwnHandles();
    EXPECT_LT(after - before, kThreads / 4) << before << " handles before, " << after << " after";
}
#endif

}  // namespace
