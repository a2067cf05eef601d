#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "device_simulator.h"
#include "sim_packets.h"
#include "sim_socket.h"

// One TFTP transfer as the server sees it: its own port (transfer identifier),
// its peer, its timers. The simulator runs several at once in one thread.

namespace ethbox_sim {

using Clock = std::chrono::steady_clock;

// What a transfer needs from the simulator that runs it.
class TransferHost {
  public:
    // Sends one datagram and logs it.
    virtual void Send(SimSocket from, const SimEndpoint& to, const Bytes& packet) = 0;
    // A log line that is not a datagram (a give-up, a misbehaviour, ...).
    virtual void Note(const std::string& line) = 0;
    virtual void ImageReceived(Bytes image) = 0;

  protected:
    ~TransferHost() = default;
};

class Transfer {
  public:
    // Takes ownership of the sockets. `secondary` (or kNoSimSocket) is the
    // socket that answers when an answer must come from another port than
    // the transfer's own.
    Transfer(TransferHost& host, const SimEndpoint& peer, SimSocket primary, SimSocket secondary,
             const SimulatorOptions& options);
    virtual ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    virtual void Start(Clock::time_point now) = 0;

    const std::vector<SimSocket>& Sockets() const { return sockets_; }
    std::uint16_t Port() const { return SimSocketPort(sockets_.front()); }

    // A datagram that arrived at one of Sockets(). Packets from anyone but
    // the peer are refused with ERROR 5 and do not disturb the transfer; the
    // peer's ERROR ends it.
    void OnDatagram(SimSocket socket, const SimEndpoint& from, const Bytes& packet,
                    Clock::time_point now);
    // Sends what was held back and handles the transfer's own time-out.
    void OnTimer(Clock::time_point now);
    Clock::time_point NextDeadline() const;
    // Over, and nothing held back is still to be sent.
    bool Done() const { return finished_ && delayed_.empty(); }

  protected:
    // Any packet of the peer but an ERROR.
    virtual void OnPeerPacket(const Bytes& packet, Clock::time_point now) = 0;
    virtual void OnDeadline(Clock::time_point now) = 0;

    void Answer(const Bytes& packet, bool otherPort = false);
    void AnswerAt(const Bytes& packet, Clock::time_point due, bool otherPort = false);
    // The first sending of an answer, spoiled by whatever faults name it: the
    // write's ACK of `block`, or a read's DATA `block` (`inRead`).
    void AnswerAsConfigured(const Bytes& packet, bool inRead, std::uint16_t block,
                            Clock::time_point now);
    void Finish() { finished_ = true; }
    bool Finished() const { return finished_; }
    void Note(const std::string& line);
    // Refuses the peer's packet as an illegal operation and ends the transfer.
    void RefuseAndFinish();

    TransferHost& host_;
    const SimulatorOptions& options_;
    SimEndpoint peer_;
    Clock::time_point deadline_;
    std::chrono::milliseconds retransmitInterval_;

  private:
    struct Delayed {
        SimSocket socket;
        Bytes packet;
        Clock::time_point due;
    };
    SimSocket AnsweringSocket(bool otherPort);

    std::vector<SimSocket> sockets_;
    std::vector<Delayed> delayed_;
    int answersSent_ = 0;
    bool finished_ = false;
};

// Serves a file to a reader in lock-step, resending a block that is not
// acknowledged in time, and giving up after the configured retries.
class ReadTransfer : public Transfer {
  public:
    ReadTransfer(TransferHost& host, const SimEndpoint& peer, SimSocket primary,
                 SimSocket secondary, const SimulatorOptions& options, Bytes content,
                 std::uint16_t firstBlock);
    void Start(Clock::time_point now) override;

  private:
    void OnPeerPacket(const Bytes& packet, Clock::time_point now) override;
    void OnDeadline(Clock::time_point now) override;
    void SendBlock(Clock::time_point now);

    Bytes content_;
    std::uint16_t block_;
    std::size_t offset_;  // of the block being sent
    std::size_t payloadLength_ = 0;
    Bytes lastPacket_;
    int retransmissions_ = 0;
};

// Receives a file, acknowledging each block in order. It never resends an
// acknowledgement on its own: the writer's retransmission of a DATA block is
// what brings a re-acknowledgement. A timer-driven resend would turn a
// dropped acknowledgement into a late one, and the updater, which never
// resends, must see a dropped one as dropped.
class WriteTransfer : public Transfer {
  public:
    WriteTransfer(TransferHost& host, const SimEndpoint& peer, SimSocket primary,
                  SimSocket secondary, const SimulatorOptions& options);
    void Start(Clock::time_point now) override;

    static constexpr std::size_t kMaxImageSize = std::size_t{32} * 1024 * 1024;

  private:
    void OnPeerPacket(const Bytes& packet, Clock::time_point now) override;
    void OnDeadline(Clock::time_point now) override;
    Clock::time_point IdleDeadline(Clock::time_point now) const;

    Bytes image_;
    std::uint16_t lastAcked_ = 0;
    std::size_t blocksReceived_ = 0;
    bool complete_ = false;
};

}  // namespace ethbox_sim
