#include "app/round_of_boxes.h"

#include <algorithm>

#include "app/command_line.h"
#include "app/outcome_detail.h"
#include "common/ui_texts.h"
#include "common/update_outcome.h"

namespace {

// Notepad and a spreadsheet then read the Japanese of the "#" lines as UTF-8.
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// The codes a box ends with: its outcome's (OutcomeCode), or -1 when it
// could not update at all (another EthBoxVup updates it, no window).
BoxWord WordOfCode(int code, bool& known) {
    known = true;
    switch (code) {
        case 0:
            return BoxWord::Completed;
        case 1:
            return BoxWord::FirmwareUnreadable;
        case 2:
            return BoxWord::SocketsFailed;
        case 3:
            return BoxWord::NoConnection;
        case 4:
            return BoxWord::UpdateFailed;
        case 5:
            return BoxWord::TransferFailed;
        case 7:
            return BoxWord::Interrupted;
        case kCancelledWhileFlashing:
            return BoxWord::InterruptedWhileFlashing;
        case kExitIncomplete:
            return BoxWord::NotStarted;
        default:
            break;
    }
    known = false;
    return BoxWord::NoOutcome;
}

bool IsControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

std::string WithoutControls(std::string text) {
    std::replace_if(text.begin(), text.end(), IsControl, '?');
    return text;
}

// `text` cut to at most `bytes`, never inside a character of UTF-8.
std::string CutAtCharacter(const std::string& text, std::size_t bytes) {
    if (text.size() <= bytes) {
        return text;
    }
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return text.substr(0, end);
}

std::string Count(std::size_t count) {
    return std::to_string(count);
}

// A name as the command line takes it: quoted when it holds a blank.
std::string AsOption(const std::string& name) {
    return name.find_first_of(" \t") == std::string::npos ? name : '"' + name + '"';
}

}  // namespace

std::string BoxReportText(const BoxReport& report) {
    const std::string code = std::to_string(report.code) + ' ';
    return code +
           CutAtCharacter(WithoutControls(report.cause), kMaxBoxReportBytes - 1 - code.size()) +
           '\n';
}

std::optional<BoxReport> ReadBoxReport(const std::string& received) {
    const std::size_t blank = received.find(' ');
    if (received.size() > kMaxBoxReportBytes || received.empty() || received.back() != '\n' ||
        blank == std::string::npos || blank == 0 || blank > 3) {
        return std::nullopt;
    }
    const std::string code = received.substr(0, blank);
    const std::string cause = received.substr(blank + 1, received.size() - blank - 2);
    const bool digits = std::all_of(code.begin() + (code[0] == '-' ? 1 : 0), code.end(),
                                    [](char c) { return c >= '0' && c <= '9'; });
    if (!digits || code == "-" || std::any_of(cause.begin(), cause.end(), IsControl)) {
        return std::nullopt;
    }
    BoxReport report;
    for (const char digit : code.substr(code[0] == '-' ? 1 : 0)) {
        report.code = report.code * 10 + (digit - '0');
    }
    report.code = code[0] == '-' ? -report.code : report.code;
    bool known = false;
    WordOfCode(report.code, known);
    if (!known || std::to_string(report.code) != code) {
        return std::nullopt;
    }
    report.cause = cause;
    return report;
}

int BoxExitCode(const BoxResult& box) {
    switch (box.end) {
        case BoxEnd::Reported:
            return box.report.code;
        case BoxEnd::NoOutcome:
            return kExitNoOutcome;
        case BoxEnd::Running:
        case BoxEnd::NotStarted:
            break;
    }
    return kExitIncomplete;
}

bool BoxCompleted(const BoxResult& box) {
    return box.end == BoxEnd::Reported && box.report.code == 0;
}

const char* BoxWordOf(int exitCode) {
    bool known = false;
    return BoxWordText(WordOfCode(exitCode, known));
}

std::string SummaryLine(const BoxResult& box) {
    std::string word = BoxWordOf(BoxExitCode(box));
    std::string cause;
    switch (box.end) {
        case BoxEnd::Running:
            word = BoxWordText(BoxWord::Running);
            break;
        case BoxEnd::Reported:
            cause = box.report.cause;
            break;
        case BoxEnd::NoOutcome:
            cause = NoOutcomeDetail(box.status);
            break;
        case BoxEnd::NotStarted:
            cause = FillText(DetailTextOf(DetailText::BoxNotStarted), {std::to_string(box.status)});
            break;
    }
    return box.address + '\t' + word + '\t' + cause;
}

std::string SummaryText(const std::vector<BoxResult>& boxes) {
    std::string text;
    for (const BoxResult& box : boxes) {
        text += SummaryLine(box) + "\r\n";
    }
    return text;
}

int RoundExitCode(const std::vector<BoxResult>& boxes) {
    for (const BoxResult& box : boxes) {
        if (!BoxCompleted(box)) {
            return BoxExitCode(box);
        }
    }
    return 0;
}

std::string SummaryHeading(const std::vector<BoxResult>& boxes, const RetryListPlace& retryList) {
    const auto ended = static_cast<std::size_t>(
        std::count_if(boxes.begin(), boxes.end(),
                      [](const BoxResult& box) { return box.end != BoxEnd::Running; }));
    const auto completed =
        static_cast<std::size_t>(std::count_if(boxes.begin(), boxes.end(), BoxCompleted));
    const std::string all = Count(boxes.size());
    if (ended < boxes.size()) {
        return FillText(kSummaryRunning, {all, Count(ended)});
    }
    const std::string oldListLeft = retryList.oldListLeft ? kSummaryOldRetryListLeft : "";
    if (completed == boxes.size()) {
        return FillText(kSummaryAllCompleted, {all}) + oldListLeft;
    }
    const std::string notCompleted = Count(boxes.size() - completed);
    if (retryList.path.empty()) {
        return FillText(kSummaryRetryNotWritten, {all, notCompleted}) + oldListLeft;
    }
    return FillText(retryList.besideProgram ? kSummaryRetryWritten : kSummaryRetryWrittenElsewhere,
                    {all, notCompleted, retryList.path}) +
           oldListLeft;
}

std::string RetryListText(const std::vector<BoxResult>& boxes, const RoundOrigin& origin) {
    std::string addresses;
    std::size_t count = 0;
    for (const BoxResult& box : boxes) {
        if (!BoxCompleted(box)) {
            addresses += box.address + "\r\n";
            ++count;
        }
    }
    if (count == 0) {
        return {};
    }
    // A line break in the name would end the comment and make the rest an
    // address line.
    const std::string name = WithoutControls(origin.firmwareName);
    return kByteOrderMark +
           FillText(kRetryListHeading,
                    {Iso8601(origin.endedAt), name, Count(count), Count(boxes.size())}) +
           "\r\n" +
           FillText(kRetryListCommand,
                    {AsOption(name), origin.deviceKind == DeviceKind::Ap ? "ap" : "e2",
                     origin.probeEnabled ? "" : " /chkoff"}) +
           "\r\n" + addresses;
}
