// ethbox-sim: the device simulator on the command line. Prints one line per
// datagram (and a "ready" line once listening) and exits after its time limit.

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "device_simulator.h"
#include "sim_command_line.h"

namespace {

// Wall-clock rather than monotonic time: another program on the same machine
// (a benchmark under Wine, say) can then line its own timings up with ours.
void PrintTimestamp() {
    const auto sinceEpoch = std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count();
    static_cast<void>(std::printf("%lld.%06lld ", static_cast<long long>(sinceEpoch / 1000000),
                                  static_cast<long long>(sinceEpoch % 1000000)));
}

void PrintLine(const std::string& line, void* context) {
    const auto& commandLine = *static_cast<const SimCommandLine*>(context);
    if (commandLine.quiet && (line.rfind("recv ", 0) == 0 || line.rfind("send ", 0) == 0)) {
        return;
    }
    if (commandLine.timestamps) {
        PrintTimestamp();
    }
    // A failed write means the reader has gone and there is no one left to
    // tell; the simulator serves on regardless.
    static_cast<void>(std::fputs(line.c_str(), stdout));
    static_cast<void>(std::fputc('\n', stdout));
    // Scripts read the output through a pipe or a file while we run.
    static_cast<void>(std::fflush(stdout));
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Lines end in LF on every platform: the scripts that read them run on Linux.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::vector<std::string> arguments(argv + 1, argv + argc);
    SimCommandLine commandLine;
    std::string error;
    if (!ParseSimCommandLine(arguments, &commandLine, &error)) {
        // The exit status reports the failure even when stderr cannot.
        static_cast<void>(
            std::fprintf(stderr, "ethbox-sim: %s\n(--help lists the switches)\n", error.c_str()));
        return 2;
    }
    if (commandLine.help) {
        static_cast<void>(std::fputs(SimUsage(), stdout));
        return 0;
    }
    DeviceSimulator simulator(commandLine.options);
    simulator.SetLineSink(PrintLine, &commandLine);
    if (!simulator.Bind()) {
        static_cast<void>(std::fprintf(stderr, "ethbox-sim: %s\n", simulator.Error().c_str()));
        return 1;
    }
    simulator.Run();
    return 0;
}
