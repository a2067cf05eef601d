#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A stand-in for the device: a small TFTP server that serves "/info.sys",
// accepts a write of "/" in octet mode and can be told to misbehave in each
// way the updater must survive. Portable (BSD sockets and Winsock 2), so the
// same tests run natively and under Wine.

enum class InfoFile { Ap, E2, Missing };

// What the device gets wrong about one answer of a transfer.
enum class AnswerFault {
    Drop,         // not sent: a lost packet (a resent DATA or a read's resend brings it)
    Duplicate,    // sent twice
    Late,         // sent lateAckMs late; other traffic goes on meanwhile
    WrongBlock,   // numbered one more than the block it answers
    WrongOpcode,  // carries the opcode `value` in place of its own
    Empty,        // an empty datagram instead
    Error,        // ERROR `value` with the RFC's text instead, and the transfer is over
    OtherPort,    // sent from a second port of the transfer, which takes DATA too
};

// One faulty answer: the write's ACK of `block` (0 = of the WRQ) or a read's
// DATA `block`. Only its first sending is faulty; a read's resend is not.
struct FaultyAnswer {
    bool inRead = false;
    int block = 0;
    AnswerFault fault = AnswerFault::Drop;
    int value = 0;  // the opcode of WrongOpcode, the code of Error
};

struct SimulatorOptions {
    std::string bindAddress = "127.0.0.1";
    std::uint16_t port = 69;           // 0: the system chooses; see BoundPort()
    InfoFile infoFile = InfoFile::Ap;  // "1..." for ap, "0..." for e2, or no such file
    std::string infoContent;           // when not empty, the whole "/info.sys" (overrides infoFile)
    std::string imagePath;             // where a received "/" is kept; empty: memory only
    int timeLimitSeconds = 60;         // Run() returns by itself after this; 0: no limit
    bool allowAnyAddress = false;      // without it, Bind() refuses addresses outside 127.0.0.0/8

    // A read's DATA block is resent when its ACK is this late, at most
    // maxRetransmits times. A write gives up when no DATA comes for
    // writeIdleMs; it keeps its port that long after the last block too, to
    // acknowledge it again if the writer resends it (tftp-hpa resends after 5 s).
    int retransmitMs = 1000;
    int maxRetransmits = 3;
    int writeIdleMs = 10000;

    // Misbehaviours at chosen answers, each applied in turn to the answer it
    // names (several may name the same one). The command line's per-block
    // switches (--drop-ack B, ...) are other spellings of entries here.
    std::vector<FaultyAnswer> faults;
    int lateAckMs = 1500;  // how late a Late answer comes

    // Misbehaviours of the whole device rather than of one answer.
    bool silent = false;            // never answer anything
    int emptyReplies = 0;           // answer the first N requests with an empty datagram
    bool probeBlock2First = false;  // answer a read with DATA block 2
    // After its first answer, a transfer answers from a second port of its own.
    bool answerFromOtherPort = false;
};

struct LogEntry {
    bool sent;                  // false: received by the simulator
    std::string remoteAddress;  // dotted IPv4 of the other side
    std::uint16_t remotePort;
    std::uint16_t localPort;          // the simulator's port that sent or received it
    std::vector<std::uint8_t> bytes;  // the whole datagram
    std::string line;                 // the line printed for it
};

struct ImageReport {
    std::vector<std::uint8_t> bytes;
    std::string sha256;  // lower-case hex
};

class DeviceSimulator {
  public:
    explicit DeviceSimulator(SimulatorOptions options);
    ~DeviceSimulator();
    DeviceSimulator(const DeviceSimulator&) = delete;
    DeviceSimulator& operator=(const DeviceSimulator&) = delete;

    // Binds the request port. False (with a reason in Error()) when it cannot.
    bool Bind();
    std::uint16_t BoundPort() const;
    const std::string& Error() const;

    // Serves one transfer after another until Stop() or the time limit.
    void Run();
    void Stop();  // from any thread

    // Thread-safe snapshots, for tests that run the simulator in a thread.
    std::vector<LogEntry> Log() const;
    std::vector<ImageReport> Images() const;  // one per completed write
    // Waits up to timeoutMs until at least `count` writes have completed.
    bool WaitForImages(std::size_t count, int timeoutMs) const;

    // Called with each log line as it happens (the command line prints them).
    void SetLineSink(void (*sink)(const std::string& line, void* context), void* context);

  private:
    struct Impl;
    Impl* impl_;
};

// Runs a DeviceSimulator on a thread of its own for the lifetime of the object.
class RunningSimulator {
  public:
    explicit RunningSimulator(SimulatorOptions options);  // port 0 is the usual choice in tests
    ~RunningSimulator();                                  // stops and joins
    // Its thread runs the simulator it owns: neither can be shared by a copy.
    RunningSimulator(const RunningSimulator&) = delete;
    RunningSimulator& operator=(const RunningSimulator&) = delete;
    bool Running() const;              // bound and running
    const std::string& Error() const;  // why not, when not Running()
    std::uint16_t Port() const;
    std::vector<LogEntry> Log() const;
    // Waits up to timeoutMs for the count-th completed image (1-based).
    bool WaitForImages(std::size_t count, int timeoutMs) const;
    std::vector<ImageReport> Images() const;

  private:
    struct Impl;
    Impl* impl_;
};
