#include "sim_transfer.h"

#include <algorithm>

#include "sim_faults.h"

namespace ethbox_sim {

Transfer::Transfer(TransferHost& host, const SimEndpoint& peer, SimSocket primary,
                   SimSocket secondary, const SimulatorOptions& options)
    : host_(host),
      options_(options),
      peer_(peer),
      retransmitInterval_(std::max(1, options.retransmitMs)) {
    sockets_.push_back(primary);
    if (secondary != kNoSimSocket) {
        sockets_.push_back(secondary);
    }
}

Transfer::~Transfer() {
    for (SimSocket socket : sockets_) {
        CloseSimSocket(socket);
    }
}

void Transfer::OnDatagram(SimSocket socket, const SimEndpoint& from, const Bytes& packet,
                          Clock::time_point now) {
    if (from != peer_) {
        host_.Send(socket, from, BuildError(kUnknownTransferId, ErrorText(kUnknownTransferId)));
        return;
    }
    if (finished_) {
        return;
    }
    if (OpcodeOf(packet) == kError) {
        Note("ended by the peer's ERROR");
        Finish();
        return;
    }
    OnPeerPacket(packet, now);
}

void Transfer::OnTimer(Clock::time_point now) {
    for (auto it = delayed_.begin(); it != delayed_.end();) {
        if (it->due <= now) {
            host_.Send(it->socket, peer_, it->packet);
            it = delayed_.erase(it);
        } else {
            ++it;
        }
    }
    if (!finished_ && deadline_ <= now) {
        OnDeadline(now);
    }
}

Clock::time_point Transfer::NextDeadline() const {
    Clock::time_point next = finished_ ? Clock::time_point::max() : deadline_;
    for (const Delayed& delayed : delayed_) {
        next = std::min(next, delayed.due);
    }
    return next;
}

SimSocket Transfer::AnsweringSocket(bool otherPort) {
    // The first answer names the transfer's port; with answers from another
    // port asked for, every later one comes from the second socket, so a peer
    // must follow the port of each answer rather than the first it saw. A
    // faulty answer from the other port takes the socket not in turn.
    const bool usual = answersSent_ > 0 && options_.answerFromOtherPort;
    ++answersSent_;
    return usual != otherPort ? sockets_.back() : sockets_.front();
}

void Transfer::Answer(const Bytes& packet, bool otherPort) {
    host_.Send(AnsweringSocket(otherPort), peer_, packet);
}

void Transfer::AnswerAt(const Bytes& packet, Clock::time_point due, bool otherPort) {
    delayed_.push_back(Delayed{AnsweringSocket(otherPort), packet, due});
}

void Transfer::AnswerAsConfigured(const Bytes& packet, bool inRead, std::uint16_t block,
                                  Clock::time_point now) {
    Bytes sent = packet;
    int copies = 1;
    bool late = false;
    bool otherPort = false;
    bool ends = false;
    for (const FaultyAnswer& fault : options_.faults) {
        if (fault.inRead != inRead || fault.block != block) {
            continue;
        }
        Note("misbehaves at " + FaultyAnswerText(fault));
        switch (fault.fault) {
            case AnswerFault::Drop:
                copies = 0;
                break;
            case AnswerFault::Duplicate:
                copies = copies == 0 ? 0 : 2;
                break;
            case AnswerFault::Late:
                late = true;
                break;
            case AnswerFault::WrongBlock:
                if (sent.size() >= 4) {
                    sent[2] = static_cast<std::uint8_t>((block + 1) >> 8);
                    sent[3] = static_cast<std::uint8_t>((block + 1) & 0xFF);
                }
                break;
            case AnswerFault::WrongOpcode:
                if (sent.size() >= 2) {
                    sent[0] = static_cast<std::uint8_t>(fault.value >> 8);
                    sent[1] = static_cast<std::uint8_t>(fault.value & 0xFF);
                }
                break;
            case AnswerFault::Empty:
                sent.clear();
                break;
            case AnswerFault::Error: {
                const std::uint16_t code = static_cast<std::uint16_t>(fault.value);
                sent = BuildError(code, ErrorText(code));
                ends = true;  // a server that sends ERROR has given the transfer up
                break;
            }
            case AnswerFault::OtherPort:
                otherPort = true;
                break;
        }
    }
    const Clock::time_point due = now + std::chrono::milliseconds(std::max(0, options_.lateAckMs));
    for (int i = 0; i < copies; ++i) {
        if (late) {
            AnswerAt(sent, due, otherPort);
        } else {
            Answer(sent, otherPort);
        }
    }
    if (ends) {
        Finish();
    }
}

void Transfer::Note(const std::string& line) {
    host_.Note("transfer :" + std::to_string(Port()) + " " + line);
}

void Transfer::RefuseAndFinish() {
    Answer(BuildError(kIllegalOperation, ErrorText(kIllegalOperation)));
    Finish();
}

// ---------------------------------------------------------------------------

ReadTransfer::ReadTransfer(TransferHost& host, const SimEndpoint& peer, SimSocket primary,
                           SimSocket secondary, const SimulatorOptions& options, Bytes content,
                           std::uint16_t firstBlock)
    : Transfer(host, peer, primary, secondary, options),
      content_(std::move(content)),
      block_(firstBlock),
      offset_(static_cast<std::size_t>(firstBlock - 1) * kBlockSize) {}

void ReadTransfer::Start(Clock::time_point now) {
    SendBlock(now);
}

void ReadTransfer::SendBlock(Clock::time_point now) {
    std::size_t start = std::min(offset_, content_.size());
    payloadLength_ = std::min(kBlockSize, content_.size() - start);
    lastPacket_ = BuildData(block_, content_.data() + start, payloadLength_);
    retransmissions_ = 0;
    AnswerAsConfigured(lastPacket_, true, block_, now);
    deadline_ = now + retransmitInterval_;
}

void ReadTransfer::OnPeerPacket(const Bytes& packet, Clock::time_point now) {
    if (OpcodeOf(packet) != kAck || packet.size() < 4) {
        RefuseAndFinish();
        return;
    }
    if (FieldAt2(packet) != block_) {
        return;  // an old acknowledgement: answering it would duplicate every block
    }
    if (payloadLength_ < kBlockSize) {
        Finish();
        return;
    }
    ++block_;
    offset_ += kBlockSize;
    SendBlock(now);
}

void ReadTransfer::OnDeadline(Clock::time_point now) {
    if (retransmissions_ >= options_.maxRetransmits) {
        Note("gave up: no ACK of block " + std::to_string(block_) + " after " +
             std::to_string(retransmissions_) + " retransmissions");
        Finish();
        return;
    }
    ++retransmissions_;
    Answer(lastPacket_);
    deadline_ = now + retransmitInterval_;
}

// ---------------------------------------------------------------------------

WriteTransfer::WriteTransfer(TransferHost& host, const SimEndpoint& peer, SimSocket primary,
                             SimSocket secondary, const SimulatorOptions& options)
    : Transfer(host, peer, primary, secondary, options) {}

void WriteTransfer::Start(Clock::time_point now) {
    AnswerAsConfigured(BuildAck(0), false, 0, now);
    deadline_ = IdleDeadline(now);
}

Clock::time_point WriteTransfer::IdleDeadline(Clock::time_point now) const {
    return now + std::chrono::milliseconds(std::max(1, options_.writeIdleMs));
}

void WriteTransfer::OnPeerPacket(const Bytes& packet, Clock::time_point now) {
    if (OpcodeOf(packet) != kData || packet.size() < 4 || packet.size() > 4 + kBlockSize) {
        RefuseAndFinish();
        return;
    }
    deadline_ = IdleDeadline(now);
    std::uint16_t block = FieldAt2(packet);
    if (block == lastAcked_ && blocksReceived_ > 0) {
        // The writer did not hear our acknowledgement: say it again, store nothing.
        Answer(BuildAck(block));
        return;
    }
    if (complete_ || block != static_cast<std::uint16_t>(lastAcked_ + 1)) {
        return;  // out of order: the writer will resend what we are waiting for
    }
    std::size_t payload = packet.size() - 4;
    if (image_.size() + payload > kMaxImageSize) {
        Answer(BuildError(kDiskFull, ErrorText(kDiskFull)));
        Finish();
        return;
    }
    image_.insert(image_.end(), packet.begin() + 4, packet.end());
    lastAcked_ = block;
    ++blocksReceived_;
    if (payload < kBlockSize) {
        // Kept (and reported) before the writer hears that it is done, as a
        // device commits what it received. The port stays open a while in
        // case the last acknowledgement is lost.
        complete_ = true;
        host_.ImageReceived(std::move(image_));
        image_.clear();
    }
    AnswerAsConfigured(BuildAck(block), false, block, now);
}

void WriteTransfer::OnDeadline(Clock::time_point) {
    if (!complete_) {
        Note("gave up: no DATA block " + std::to_string(lastAcked_ + 1) + " in time");
    }
    Finish();
}

}  // namespace ethbox_sim
