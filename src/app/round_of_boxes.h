#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/record_line.h"
#include "common/launch_options.h"

// A round of boxes as the process that started them sees it: each box tells
// it its outcome in one report, through a channel of its own; the starter
// keeps what each box ended with, shows them all in one summary, writes the
// list of those to retry, and ends with the round's exit code.

// What a box tells its starter: its exit code and the cause its message and
// record line carry (their detail, UTF-8).
struct BoxReport {
    int code = 0;
    std::string cause;
};

// A report is one line, "CODE CAUSE" ended by LF, of at most this many bytes:
// far less than the channel holds, so that writing it never waits for the
// starter to read.
constexpr std::size_t kMaxBoxReportBytes = 4096;

// The line a box writes: a cause too long is cut short at a whole character,
// and each control character in it becomes "?".
std::string BoxReportText(const BoxReport& report);

// What the starter received from a box, read as that line: exactly one whole
// line, its code one that a box ends with, no control character in its cause.
// None for anything else: nothing at all (the process was ended, or crashed,
// before it could tell), or a line cut short.
std::optional<BoxReport> ReadBoxReport(const std::string& received);

enum class BoxEnd : std::uint8_t {
    Running,
    Reported,    // it told its outcome: `report`
    NoOutcome,   // its process ended without telling it: `status` is its exit status
    NotStarted,  // its process could not be started: `status` is the system's error
};

struct BoxResult {
    std::string address;  // as given in the list
    BoxEnd end = BoxEnd::Running;
    BoxReport report;
    std::uint32_t status = 0;
};

// The box's exit code as the round counts it: the code it reported,
// kExitNoOutcome, or -1 for a box never started (and one still running).
int BoxExitCode(const BoxResult& box);
bool BoxCompleted(const BoxResult& box);

// The word or two that tells an exit code of a box (0: 完了), in its summary
// line and its own window.
const char* BoxWordOf(int exitCode);

// A box's line of the summary, as it is shown and copied: its address, its
// outcome in a word or two, and the cause, tab-separated (a running box has
// an empty cause).
std::string SummaryLine(const BoxResult& box);

// Every box's line, in the order given, each ended by CRLF: what the summary
// copies.
std::string SummaryText(const std::vector<BoxResult>& boxes);

// 0 when every box completed; otherwise the exit code of the first box in the
// order given that did not.
int RoundExitCode(const std::vector<BoxResult>& boxes);

// Where the round's list to retry went.
struct RetryListPlace {
    std::string path;           // UTF-8, as a person types it; empty when none was written
    bool besideProgram = true;  // where "/ip:@" reads it
    // An older list beside the program could be neither replaced nor
    // removed: "/ip:@" would read that one.
    bool oldListLeft = false;
};

// The line above the summary's list: how far the round is, and at its end
// whether every box completed, or how many did not and where the list to
// retry them went.
std::string SummaryHeading(const std::vector<BoxResult>& boxes, const RetryListPlace& retryList);

// What the round was run with, for the head of the list to retry.
struct RoundOrigin {
    LocalTime endedAt;
    std::string firmwareName;  // UTF-8, as given
    DeviceKind deviceKind = DeviceKind::None;
    bool probeEnabled = true;
};

// The name of the list to retry, beside the record.
constexpr char kRetryListName[] = "EthBoxVup-retry.txt";

// The list to retry, as "/ip:@EthBoxVup-retry.txt" reads it: UTF-8 with its
// byte-order mark, two "#" lines (when, which firmware, how many; the command
// that retries them), then the address of each box that did not complete, in
// the order given, each line ended by CRLF. Empty when every box completed:
// then no such file is left.
std::string RetryListText(const std::vector<BoxResult>& boxes, const RoundOrigin& origin);
