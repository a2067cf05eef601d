#include "device_simulator.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/sha256.h"
#include "sim_faults.h"
#include "sim_packets.h"
#include "sim_socket.h"
#include "sim_transfer.h"

using namespace ethbox_sim;

namespace {

// Stop() is noticed within this long even when nothing happens on the wire.
constexpr int kIdleWaitMs = 20;
// More transfers than this at once: the oldest is abandoned.
constexpr std::size_t kMaxTransfers = 16;
// Datagrams taken from one socket before the others get their turn.
constexpr int kMaxDrain = 64;

Bytes DefaultInfoContent(InfoFile kind) {
    // A one-line text file whose first character names the kind.
    const char* text = kind == InfoFile::E2 ? "0\r\n" : "1\r\n";
    return Bytes(text, text + 3);
}

bool IsLoopback(std::uint32_t address) {
    return (address >> 24) == 127;
}

bool AnswersFromOtherPort(const SimulatorOptions& options) {
    if (options.answerFromOtherPort) {
        return true;
    }
    for (const FaultyAnswer& fault : options.faults) {
        if (fault.fault == AnswerFault::OtherPort) {
            return true;
        }
    }
    return false;
}

}  // namespace

struct DeviceSimulator::Impl final : TransferHost {
    explicit Impl(SimulatorOptions opts) : options(std::move(opts)) {}

    ~Impl() {
        transfers.clear();
        CloseSimSocket(requestSocket);
        if (socketsStarted) {
            StopSimSockets();
        }
    }

    // TransferHost
    void Send(SimSocket from, const SimEndpoint& to, const Bytes& packet) override {
        SimSend(from, to, packet.data(), packet.size());
        Record(true, from, to, packet);
    }
    void Note(const std::string& line) override { Emit(line); }
    void ImageReceived(Bytes image) override;

    void Emit(const std::string& line) {
        if (sink != nullptr) {
            sink(line, sinkContext);
        }
    }
    void Record(bool sent, SimSocket local, const SimEndpoint& remote, const Bytes& packet);

    bool Bind();
    void Run();
    void ServeOnce(Clock::time_point now);
    void OnRequest(const SimEndpoint& client, const Bytes& packet, Clock::time_point now);
    void StartRead(const SimEndpoint& client, const Request& request, Clock::time_point now);
    void StartWrite(const SimEndpoint& client, const Request& request, Clock::time_point now);
    // Answers a request with one ERROR from a port of its own, as a server
    // that hands every request to a new transfer does.
    void RefuseRequest(const SimEndpoint& client, std::uint16_t code, const std::string& text);
    bool OpenTransferSockets(SimSocket* primary, SimSocket* secondary);
    void Adopt(std::unique_ptr<Transfer> transfer, Clock::time_point now);

    SimulatorOptions options;
    std::uint32_t bindAddress = 0;
    bool socketsStarted = false;
    SimSocket requestSocket = kNoSimSocket;
    std::uint16_t boundPort = 0;
    std::string error;
    int requestsSeen = 0;
    Bytes buffer = Bytes(kMaxDatagram);
    std::vector<std::unique_ptr<Transfer>> transfers;
    std::atomic<bool> stopRequested{false};
    void (*sink)(const std::string&, void*) = nullptr;
    void* sinkContext = nullptr;

    mutable std::mutex mutex;  // guards what other threads read: log and images
    mutable std::condition_variable imagesChanged;
    std::vector<LogEntry> log;
    std::vector<ImageReport> images;
};

void DeviceSimulator::Impl::Record(bool sent, SimSocket local, const SimEndpoint& remote,
                                   const Bytes& packet) {
    LogEntry entry;
    entry.sent = sent;
    entry.remoteAddress = FormatSimAddress(remote.address);
    entry.remotePort = remote.port;
    entry.localPort = SimSocketPort(local);
    entry.bytes = packet;
    std::string remoteText = entry.remoteAddress + ":" + std::to_string(remote.port);
    std::string localText = ":" + std::to_string(entry.localPort);
    entry.line = (sent ? "send " + localText + " -> " + remoteText
                       : "recv " + remoteText + " -> " + localText) +
                 " len=" + std::to_string(packet.size()) + " " + DescribePacket(packet);
    Emit(entry.line);
    std::lock_guard<std::mutex> lock(mutex);
    log.push_back(std::move(entry));
}

void DeviceSimulator::Impl::ImageReceived(Bytes image) {
    ImageReport report;
    report.sha256 = Sha256Hex(image.data(), image.size());
    report.bytes = std::move(image);
    if (!options.imagePath.empty()) {
        // Written before the line is printed, so whoever waits for the line finds the file.
        std::FILE* file = std::fopen(options.imagePath.c_str(), "wb");
        bool written = file != nullptr && (report.bytes.empty() ||
                                           std::fwrite(report.bytes.data(), 1, report.bytes.size(),
                                                       file) == report.bytes.size());
        if (file != nullptr && std::fclose(file) != 0) {
            written = false;
        }
        if (!written) {
            Emit("image-out: cannot write " + options.imagePath);
        }
    }
    Emit("image length=" + std::to_string(report.bytes.size()) + " sha256=" + report.sha256);
    std::lock_guard<std::mutex> lock(mutex);
    images.push_back(std::move(report));
    imagesChanged.notify_all();
}

bool DeviceSimulator::Impl::Bind() {
    if (requestSocket != kNoSimSocket) {
        return true;
    }
    if (!ParseSimAddress(options.bindAddress, &bindAddress)) {
        error = "not an IPv4 address: " + options.bindAddress;
        return false;
    }
    if (!IsLoopback(bindAddress) && !options.allowAnyAddress) {
        error = "refusing to bind " + options.bindAddress +
                ": only 127.0.0.0/8 unless any address is allowed";
        return false;
    }
    if (!socketsStarted) {
        if (!StartSimSockets(&error)) {
            return false;
        }
        socketsStarted = true;
    }
    requestSocket = OpenSimSocket(SimEndpoint{bindAddress, options.port}, &error);
    if (requestSocket == kNoSimSocket) {
        return false;
    }
    boundPort = SimSocketPort(requestSocket);
    return true;
}

void DeviceSimulator::Impl::Run() {
    if (requestSocket == kNoSimSocket) {
        return;
    }
    Emit("ready " + options.bindAddress + ":" + std::to_string(boundPort));
    const Clock::time_point start = Clock::now();
    const bool limited = options.timeLimitSeconds > 0;
    const Clock::time_point end = start + std::chrono::seconds(options.timeLimitSeconds);
    while (!stopRequested.load()) {
        Clock::time_point now = Clock::now();
        if (limited && now >= end) {
            Emit("time limit of " + std::to_string(options.timeLimitSeconds) + " s reached");
            break;
        }
        ServeOnce(now);
    }
    transfers.clear();
}

void DeviceSimulator::Impl::ServeOnce(Clock::time_point now) {
    for (auto& transfer : transfers) {
        transfer->OnTimer(now);
    }
    transfers.erase(std::remove_if(transfers.begin(), transfers.end(),
                                   [](const std::unique_ptr<Transfer>& t) { return t->Done(); }),
                    transfers.end());

    Clock::time_point wake = now + std::chrono::milliseconds(kIdleWaitMs);
    std::vector<SimSocket> sockets{requestSocket};
    std::vector<Transfer*> owners{nullptr};
    for (auto& transfer : transfers) {
        wake = std::min(wake, transfer->NextDeadline());
        for (SimSocket socket : transfer->Sockets()) {
            sockets.push_back(socket);
            owners.push_back(transfer.get());
        }
    }
    auto waitMs = std::chrono::duration_cast<std::chrono::milliseconds>(wake - now).count();
    std::vector<bool> readable;
    if (!WaitForSimSockets(sockets, static_cast<int>(std::max<long long>(0, waitMs)), &readable)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kIdleWaitMs));
        return;
    }

    for (std::size_t i = 0; i < sockets.size(); ++i) {
        if (!readable[i]) {
            continue;
        }
        for (int taken = 0; taken < kMaxDrain; ++taken) {
            SimEndpoint from;
            int length = SimReceive(sockets[i], buffer.data(), buffer.size(), &from);
            if (length < 0) {
                break;
            }
            Bytes packet(buffer.begin(), buffer.begin() + length);
            Record(false, sockets[i], from, packet);
            if (options.silent) {
                continue;
            }
            // Transfers started here are appended; the pointers above stay valid.
            if (owners[i] == nullptr) {
                OnRequest(from, packet, Clock::now());
            } else {
                owners[i]->OnDatagram(sockets[i], from, packet, Clock::now());
            }
        }
    }
}

void DeviceSimulator::Impl::OnRequest(const SimEndpoint& client, const Bytes& packet,
                                      Clock::time_point now) {
    Request request;
    if (!ParseRequest(packet, &request)) {
        RefuseRequest(client, kIllegalOperation, ErrorText(kIllegalOperation));
        return;
    }
    if (requestsSeen++ < options.emptyReplies) {
        Send(requestSocket, client, Bytes());
        return;
    }
    if (request.write) {
        StartWrite(client, request, now);
    } else {
        StartRead(client, request, now);
    }
}

void DeviceSimulator::Impl::StartRead(const SimEndpoint& client, const Request& request,
                                      Clock::time_point now) {
    const bool netascii = EqualsIgnoringCase(request.mode, "netascii");
    if (!netascii && !EqualsIgnoringCase(request.mode, "octet")) {
        RefuseRequest(client, kNotDefined, "Unsupported mode");
        return;
    }
    const bool infoFile = request.fileName == "/info.sys" || request.fileName == "info.sys";
    const bool haveInfo = !options.infoContent.empty() || options.infoFile != InfoFile::Missing;
    if (!infoFile || !haveInfo) {
        RefuseRequest(client, kFileNotFound, ErrorText(kFileNotFound));
        return;
    }
    Bytes content = options.infoContent.empty()
                        ? DefaultInfoContent(options.infoFile)
                        : Bytes(options.infoContent.begin(), options.infoContent.end());
    if (netascii) {
        content = ToNetascii(content);
    }
    SimSocket primary = kNoSimSocket;
    SimSocket secondary = kNoSimSocket;
    if (!OpenTransferSockets(&primary, &secondary)) {
        return;
    }
    Adopt(std::make_unique<ReadTransfer>(*this, client, primary, secondary, options,
                                         std::move(content), options.probeBlock2First ? 2 : 1),
          now);
}

void DeviceSimulator::Impl::StartWrite(const SimEndpoint& client, const Request& request,
                                       Clock::time_point now) {
    if (!EqualsIgnoringCase(request.mode, "octet")) {
        RefuseRequest(client, kNotDefined, "Only octet mode is accepted for writing");
        return;
    }
    if (request.fileName != "/") {
        RefuseRequest(client, kAccessViolation, ErrorText(kAccessViolation));
        return;
    }
    SimSocket primary = kNoSimSocket;
    SimSocket secondary = kNoSimSocket;
    if (!OpenTransferSockets(&primary, &secondary)) {
        return;
    }
    Adopt(std::make_unique<WriteTransfer>(*this, client, primary, secondary, options), now);
}

void DeviceSimulator::Impl::RefuseRequest(const SimEndpoint& client, std::uint16_t code,
                                          const std::string& text) {
    std::string openError;
    SimSocket socket = OpenSimSocket(SimEndpoint{bindAddress, 0}, &openError);
    if (socket == kNoSimSocket) {
        Emit("cannot open a transfer port: " + openError);
        return;
    }
    Send(socket, client, BuildError(code, text));
    CloseSimSocket(socket);
}

bool DeviceSimulator::Impl::OpenTransferSockets(SimSocket* primary, SimSocket* secondary) {
    std::string openError;
    *primary = OpenSimSocket(SimEndpoint{bindAddress, 0}, &openError);
    if (*primary != kNoSimSocket && AnswersFromOtherPort(options)) {
        *secondary = OpenSimSocket(SimEndpoint{bindAddress, 0}, &openError);
        if (*secondary == kNoSimSocket) {
            CloseSimSocket(*primary);
            *primary = kNoSimSocket;
        }
    }
    if (*primary == kNoSimSocket) {
        Emit("cannot open a transfer port: " + openError);
        return false;
    }
    return true;
}

void DeviceSimulator::Impl::Adopt(std::unique_ptr<Transfer> transfer, Clock::time_point now) {
    if (transfers.size() >= kMaxTransfers) {
        Emit("too many transfers: abandoning the one at :" +
             std::to_string(transfers.front()->Port()));
        transfers.erase(transfers.begin());
    }
    transfer->Start(now);
    transfers.push_back(std::move(transfer));
}

// ---------------------------------------------------------------------------

DeviceSimulator::DeviceSimulator(SimulatorOptions options) : impl_(new Impl(std::move(options))) {}

DeviceSimulator::~DeviceSimulator() {
    delete impl_;
}

bool DeviceSimulator::Bind() {
    return impl_->Bind();
}

std::uint16_t DeviceSimulator::BoundPort() const {
    return impl_->boundPort;
}

const std::string& DeviceSimulator::Error() const {
    return impl_->error;
}

void DeviceSimulator::Run() {
    // Nothing may escape the thread this runs on.
    try {
        impl_->Run();
    } catch (const std::exception& exception) {
        impl_->Emit(std::string("stopped by an internal error: ") + exception.what());
    } catch (...) {
        impl_->Emit("stopped by an internal error");
    }
}

void DeviceSimulator::Stop() {
    impl_->stopRequested.store(true);
}

std::vector<LogEntry> DeviceSimulator::Log() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->log;
}

std::vector<ImageReport> DeviceSimulator::Images() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->images;
}

bool DeviceSimulator::WaitForImages(std::size_t count, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(impl_->mutex);
    return impl_->imagesChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                         [&] { return impl_->images.size() >= count; });
}

void DeviceSimulator::SetLineSink(void (*sink)(const std::string& line, void* context),
                                  void* context) {
    impl_->sink = sink;
    impl_->sinkContext = context;
}

// ---------------------------------------------------------------------------

struct RunningSimulator::Impl {
    explicit Impl(SimulatorOptions options) : simulator(std::move(options)) {}
    DeviceSimulator simulator;
    std::thread thread;
    bool running = false;
};

RunningSimulator::RunningSimulator(SimulatorOptions options) : impl_(new Impl(std::move(options))) {
    if (impl_->simulator.Bind()) {
        impl_->thread = std::thread([this] { impl_->simulator.Run(); });
        impl_->running = true;
    }
}

RunningSimulator::~RunningSimulator() {
    impl_->simulator.Stop();
    if (impl_->thread.joinable()) {
        impl_->thread.join();
    }
    delete impl_;
}

bool RunningSimulator::Running() const {
    return impl_->running;
}

const std::string& RunningSimulator::Error() const {
    return impl_->simulator.Error();
}

std::uint16_t RunningSimulator::Port() const {
    return impl_->simulator.BoundPort();
}

std::vector<LogEntry> RunningSimulator::Log() const {
    return impl_->simulator.Log();
}

bool RunningSimulator::WaitForImages(std::size_t count, int timeoutMs) const {
    return impl_->simulator.WaitForImages(count, timeoutMs);
}

std::vector<ImageReport> RunningSimulator::Images() const {
    return impl_->simulator.Images();
}
