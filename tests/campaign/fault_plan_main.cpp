// fault-plan: the campaign's runs for a seed, one line each, for scripts that
// run the real program (tests/e2e/fault_campaign.sh):
//
//   INDEX SIZE ap|e2 probe|chkoff EXPECTED KEPT SIMULATOR-SWITCHES...
//
// EXPECTED is the message the run must end with (M3 ... M6), KEPT 1 when the
// device must have received every block.

#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "fault_plan.h"

namespace {

const char kUsage[] =
    "usage: fault-plan --seed N --runs N [--largest BYTES] [--clean PERCENT] [--run I]\n";

bool NumberAfter(int& i, int argc, char** argv, long* value) {
    if (i + 1 >= argc) {
        return false;
    }
    char* end = nullptr;
    *value = std::strtol(argv[++i], &end, 0);
    return *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Lines end in LF: the script that reads them runs on Linux.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    long seed = -1;
    long runs = -1;
    long only = -1;
    fault_campaign::Profile profile;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        long value = 0;
        if (!NumberAfter(i, argc, argv, &value) || value < 0) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        if (name == "--seed") {
            seed = value;
        } else if (name == "--runs") {
            runs = value;
        } else if (name == "--run") {
            only = value;
        } else if (name == "--largest" && value >= 5120) {
            profile.largestImage = value;
        } else if (name == "--clean" && value <= 100) {
            profile.cleanPercent = static_cast<int>(value);
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (seed < 0 || (runs < 0 && only < 0)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    for (long index = only >= 0 ? only : 0; index < (only >= 0 ? only + 1 : runs); ++index) {
        const fault_campaign::RunPlan plan = fault_campaign::DrawRun(
            static_cast<std::uint64_t>(seed), static_cast<int>(index), profile);
        const fault_campaign::Outcome expected = fault_campaign::Expect(plan);
        std::printf("%ld %ld %s %s M%d %d", index, plan.imageSize, plan.launchAp ? "ap" : "e2",
                    plan.probe ? "probe" : "chkoff", expected.message, expected.imageKept ? 1 : 0);
        for (const std::string& word : fault_campaign::SimulatorSwitches(plan)) {
            std::printf(" %s", word.c_str());
        }
        std::printf("\n");
    }
    return 0;
}
