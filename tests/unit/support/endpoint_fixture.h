#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/typed_address.h"
#include "device_simulator.h"
#include "sim_socket.h"
#include "support/raw_udp_peer.h"
#include "transfer/tftp_endpoint.h"

using Bytes = std::vector<std::uint8_t>;

inline Bytes BytesOf(const std::uint8_t* data, std::size_t length) {
    return Bytes(data, data + length);
}

// The fixtures aim the endpoint at loopback addresses other than 127.0.0.1 and
// put the device's side on that address only: an endpoint that sent anywhere
// but its target would find nobody there (natively; see RawUdpPeer for Wine).
constexpr char kRawPeerTarget[] = "127.0.0.2";
constexpr std::uint32_t kRawPeerAddress = 0x7F000002;
constexpr char kSimulatorTarget[] = "127.0.0.10";

inline void SetTypedAddress(const std::string& text) {
    ASSERT_LT(text.size(), kTypedAddressSize);
    std::memset(typedAddress, 0, kTypedAddressSize);
    std::memcpy(typedAddress, text.data(), text.size());
}

// The port the system gave the endpoint's socket, asked through the
// simulator's socket layer: the program itself never needs to know it.
inline std::uint16_t EndpointPort() {
    return ethbox_sim::SimSocketPort(tftpEndpoint.socket);
}

// The endpoint aimed at 127.0.0.2 with a raw peer in the device's place:
// `server` stands at the request port, `transfer` is the port the device
// answers from (its transfer identifier), as a real TFTP server does.
class EndpointWithRawPeer : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.ok());
        ASSERT_TRUE(transfer.ok());
        SetTypedAddress(kRawPeerTarget);
        deviceRequestPort = server.port();
        ASSERT_TRUE(OpenEndpoint());
    }
    void TearDown() override { CloseEndpoint(); }

    // Proves that nothing else reached `peer` before now: loopback keeps the
    // order of datagrams between two sockets, so a marker sent last must be
    // the first thing the peer finds.
    void ExpectNothingMoreAt(RawUdpPeer& peer) {
        static const std::uint8_t kMarker[] = {'m', 'a', 'r', 'k'};
        SendToPort(kMarker, sizeof kMarker, peer.port());
        const RawUdpPeer::Datagram next = peer.Receive();
        ASSERT_TRUE(next.received);
        EXPECT_EQ(next.bytes, BytesOf(kMarker, sizeof kMarker))
            << "an unexpected datagram came first";
    }

    RawUdpPeer server{kRawPeerAddress};
    RawUdpPeer transfer{kRawPeerAddress};
};

// The endpoint aimed at the simulated device, which runs on a thread of its
// own at 127.0.0.10 (whatever `options` say), on a port the system chose.
class EndpointWithSimulator : public ::testing::Test {
  protected:
    void Start(SimulatorOptions options) {
        options.bindAddress = kSimulatorTarget;
        options.port = 0;
        sim = std::make_unique<RunningSimulator>(options);
        ASSERT_TRUE(sim->Running());
        SetTypedAddress(kSimulatorTarget);
        deviceRequestPort = sim->Port();
        ASSERT_TRUE(OpenEndpoint());
    }
    void TearDown() override {
        CloseEndpoint();
        sim.reset();
    }

    std::unique_ptr<RunningSimulator> sim;
};
