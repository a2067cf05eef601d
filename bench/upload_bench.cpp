// Times the updater's upload of the largest image (188415 bytes) to the
// device simulator on loopback, step after step with no timer in between, and
// reports the process's peak memory.
//
// The simulator runs as a child process (ethbox-sim --quiet), not on a thread
// of ours: so the peak memory and CPU time measured here are the updater's
// alone, not those of a server that keeps every image it receives and hashes
// it, and the two sides do not share an allocator or a scheduler quantum.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/typed_address.h"
#include "platform/sha256.h"
#include "transfer/firmware_image.h"
#include "transfer/image_upload.h"
#include "transfer/tftp_endpoint.h"

namespace {

constexpr std::int32_t kImageLength = 188415;

struct Simulator {
    pid_t pid = -1;
    std::FILE* output = nullptr;
    std::uint16_t port = 0;
};

// Starts ethbox-sim on 127.0.0.1 at a port the system chooses and reads its
// "ready" line.
bool StartSimulator(const char* path, Simulator* simulator) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return false;
    }
    pid_t pid = fork();
    if (pid < 0) {
        return false;
    }
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        execl(path, path, "--bind", "127.0.0.1", "--port", "0", "--quiet", "--time-limit", "600",
              static_cast<char*>(nullptr));
        std::perror(path);
        _exit(127);
    }
    close(pipeFds[1]);
    simulator->pid = pid;
    simulator->output = fdopen(pipeFds[0], "r");
    char line[256];
    while (simulator->output != nullptr && std::fgets(line, sizeof line, simulator->output)) {
        unsigned port = 0;
        if (std::sscanf(line, "ready 127.0.0.1:%u", &port) == 1 && port > 0 && port < 65536) {
            simulator->port = static_cast<std::uint16_t>(port);
            return true;
        }
    }
    return false;
}

void StopSimulator(Simulator* simulator) {
    if (simulator->pid > 0) {
        kill(simulator->pid, SIGTERM);
        waitpid(simulator->pid, nullptr, 0);
    }
    if (simulator->output != nullptr) {
        std::fclose(simulator->output);
    }
}

// The simulator's report of the image it received.
std::string NextImageLine(Simulator* simulator) {
    char line[256];
    while (std::fgets(line, sizeof line, simulator->output)) {
        if (std::strncmp(line, "image ", 6) == 0) {
            std::string text(line);
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
                text.pop_back();
            }
            return text;
        }
    }
    return "";
}

// One whole upload as the sequencer drives it, but without the ticks between
// steps. Returns the last step's result.
UploadStepResult Upload(std::uint16_t port, double* milliseconds) {
    std::snprintf(typedAddress, sizeof typedAddress, "127.0.0.1");
    deviceRequestPort = port;
    if (!OpenEndpoint()) {
        return UploadStepResult::ReceiveFailed;
    }
    auto start = std::chrono::steady_clock::now();
    ResetUpload();
    SendWriteRequest();
    UploadStepResult result;
    do {
        result = ReceiveAckAndSendNext();
    } while (result == UploadStepResult::BlockSent);
    auto end = std::chrono::steady_clock::now();
    CloseEndpoint();
    *milliseconds = std::chrono::duration<double, std::milli>(end - start).count();
    return result;
}

long PeakKilobytes(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_maxrss;  // kilobytes on Linux
}

}  // namespace

int main(int argc, char** argv) {
    int repetitions = 20;
    const char* simulatorPath = ETHBOX_SIM_PATH;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--reps") == 0 && i + 1 < argc) {
            repetitions = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--sim") == 0 && i + 1 < argc) {
            simulatorPath = argv[++i];
        } else {
            std::fprintf(stderr, "usage: upload_bench [--reps N] [--sim PATH/TO/ethbox-sim]\n");
            return 2;
        }
    }

    for (std::int32_t i = 0; i < kImageLength; ++i) {
        firmwareImage.data[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 24);
    }
    firmwareImage.length = kImageLength;
    const std::string expected = "image length=" + std::to_string(kImageLength) +
                                 " sha256=" + Sha256Hex(firmwareImage.data, kImageLength);

    Simulator simulator;
    if (!StartSimulator(simulatorPath, &simulator)) {
        std::fprintf(stderr, "upload_bench: cannot start %s\n", simulatorPath);
        StopSimulator(&simulator);
        return 1;
    }

    std::vector<double> times;
    int failures = 0;
    for (int i = 0; i < repetitions; ++i) {
        double milliseconds = 0;
        UploadStepResult result = Upload(simulator.port, &milliseconds);
        std::string report =
            result == UploadStepResult::Finished ? NextImageLine(&simulator) : std::string();
        if (result != UploadStepResult::Finished || report != expected) {
            std::fprintf(stderr, "upload_bench: upload %d failed (step result %d, %s)\n", i + 1,
                         static_cast<int>(result), report.c_str());
            ++failures;
            continue;
        }
        times.push_back(milliseconds);
    }
    StopSimulator(&simulator);

    const int blocks = kImageLength / kTftpBlockSize + 1;
    std::printf(
        "upload of %d bytes (%d DATA blocks) to ethbox-sim on 127.0.0.1, steps back to back\n",
        kImageLength, blocks);
    if (!times.empty()) {
        std::vector<double> sorted = times;
        std::sort(sorted.begin(), sorted.end());
        double median = sorted.size() % 2 == 1
                            ? sorted[sorted.size() / 2]
                            : (sorted[sorted.size() / 2 - 1] + sorted[sorted.size() / 2]) / 2;
        std::printf("repetitions   %zu ok, %d failed\n", times.size(), failures);
        std::printf("time min      %.2f ms\n", sorted.front());
        std::printf("time median   %.2f ms\n", median);
        std::printf("time max      %.2f ms\n", sorted.back());
        std::printf("per block     %.1f us (median)\n", median * 1000.0 / blocks);
        std::printf("throughput    %.0f KiB/s (median)\n", kImageLength / 1024.0 / (median / 1000));
    }
    std::printf("peak memory   %ld KiB (this process: updater code, image buffer, runtime)\n",
                PeakKilobytes(RUSAGE_SELF));
    std::printf("peak memory   %ld KiB (the simulator child, for reference)\n",
                PeakKilobytes(RUSAGE_CHILDREN));
    return failures == 0 && !times.empty() ? 0 : 1;
}
