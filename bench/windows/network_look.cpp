// network-look.exe ADDRESS: the look at the PC's network that EthBoxVup makes
// before the message box of an update that nothing answered (Windows
// Firewall's reading included), timed, and what it found. One look per
// process, as in the program, where nothing of it was loaded before: its time
// is what the look adds before the message box.
#include <windows.h>

#include <cstdio>

#include "app/network_diagnosis.h"
#include "app/outcome_detail.h"
#include "transfer/decimal_address.h"

int main(int argc, char** argv) {
    std::uint32_t address = 0;
    if (argc != 2 || !ParseDecimalAddress(argv[1], &address)) {
        std::fprintf(stderr, "usage: network-look.exe ADDRESS\n");
        return 2;
    }
    // The probe's read request unanswered, as the sequencer hands it over.
    UpdateOutcome outcome;
    outcome.message = UpdateMessage::NoConnection;
    outcome.phase = UpdatePhase::Probing;
    outcome.reply.kind = ReplyKind::NoAnswer;

    LARGE_INTEGER frequency;
    LARGE_INTEGER began;
    LARGE_INTEGER ended;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&began);
    // The firewall read whatever the rest says: the longest the look takes.
    NetworkFacts facts = GatherNetworkFacts(address);
    facts.firewall = GatherFirewallFacts();
    outcome.network = DiagnoseNoAnswer(outcome, address, facts);
    const std::string text = MessageWithDetail(outcome);
    QueryPerformanceCounter(&ended);
    std::printf("ms=%.1f cause=%d firewall=%s\n",
                1000.0 * static_cast<double>(ended.QuadPart - began.QuadPart) /
                    static_cast<double>(frequency.QuadPart),
                static_cast<int>(outcome.network.cause),
                facts.firewall.known ? "known" : "not-known");
    std::printf("detail=%s\n", DescribeOutcome(outcome).c_str());
    return text.empty() ? 1 : 0;
}
