#include "side_by_side.h"

#include <windows.h>

#include <algorithm>

#include "app/command_line.h"
#include "app/round_of_boxes.h"
#include "box_channel.h"
#include "common/launch_options.h"
#include "platform/ansi_text.h"
#include "platform/executable_path.h"
#include "retry_list_file.h"
#include "round_summary_window.h"
#include "update_attempt.h"
#include "update_record.h"

namespace {

// MsgWaitForMultipleObjects waits on this many processes at most, the
// message queue besides.
constexpr DWORD kMaxWaitedProcesses = MAXIMUM_WAIT_OBJECTS - 1;
// How often the boxes past those are looked at.
constexpr DWORD kOthersLookMs = 100;

// A box's process as this one holds it.
struct BoxProcess {
    BoxChannel channel;
    HANDLE process = nullptr;  // until it has ended
    ULONGLONG startedAt = 0;
};

void StartBox(BoxProcess& box, BoxResult& result, const NativePath& program, std::size_t number,
              std::size_t count, const std::wstring& givenLine) {
    box.startedAt = GetTickCount64();
    if (!OpenBoxChannel(box.channel)) {
        result.end = BoxEnd::NotStarted;
        result.status = GetLastError();
        return;
    }
    const std::string place = std::to_string(number) + '/' + std::to_string(count);
    NativePath wideAddress;
    NativePath widePlace;
    if (!AnsiTextToPath(result.address.c_str(), wideAddress) ||
        !AnsiTextToPath(place.c_str(), widePlace)) {
        result.end = BoxEnd::NotStarted;
        result.status = ERROR_NO_UNICODE_TRANSLATION;
        ReceiveBoxReport(box.channel);  // closes it
        return;
    }
    const std::wstring line = L"\"" + program + L"\" /ip:" + wideAddress + L" /box:" + widePlace +
                              L' ' + BoxChannelOption(box.channel) + L' ' + givenLine;
    box.process = StartWithChannel(program, line, box.channel);
    if (box.process == nullptr) {
        result.end = BoxEnd::NotStarted;
        result.status = GetLastError();
        ReceiveBoxReport(box.channel);  // closes it
    }
}

// Its process has ended: what the box told, or, when it told nothing, its
// line in the record, which only this process can now write.
void EndBox(BoxProcess& box, BoxResult& result) {
    DWORD status = 0;
    GetExitCodeProcess(box.process, &status);
    CloseHandle(box.process);
    box.process = nullptr;
    if (const std::optional<BoxReport> report = ReceiveBoxReport(box.channel)) {
        result.end = BoxEnd::Reported;
        result.report = *report;
        return;
    }
    result.end = BoxEnd::NoOutcome;
    result.status = status;
    RecordBoxWithoutOutcome(result.address.c_str(), status,
                            static_cast<std::int64_t>((GetTickCount64() - box.startedAt) / 100));
}

void HandleMessages(HWND summary) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (summary != nullptr && IsWindow(summary) && SummaryTakesMessage(summary, message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Until every box has ended, the summary (if any) kept up to date and its
// messages handled meanwhile.
void WaitForBoxes(std::vector<BoxProcess>& boxes, std::vector<BoxResult>& results, HWND summary) {
    for (;;) {
        std::vector<HANDLE> running;
        for (const BoxProcess& box : boxes) {
            if (box.process != nullptr) {
                running.push_back(box.process);
            }
        }
        if (running.empty()) {
            return;
        }
        const DWORD waited =
            std::min<DWORD>(static_cast<DWORD>(running.size()), kMaxWaitedProcesses);
        MsgWaitForMultipleObjects(waited, running.data(), FALSE,
                                  running.size() > waited ? kOthersLookMs : INFINITE, QS_ALLINPUT);
        for (std::size_t index = 0; index < boxes.size(); ++index) {
            BoxProcess& box = boxes[index];
            if (box.process == nullptr || WaitForSingleObject(box.process, 0) != WAIT_OBJECT_0) {
                continue;
            }
            EndBox(box, results[index]);
            if (summary != nullptr) {
                ShowBoxEnded(summary, index);
            }
        }
        HandleMessages(summary);
    }
}

RoundOrigin OriginOfRound() {
    RoundOrigin origin;
    origin.endedAt = LocalTimeNow();
    origin.firmwareName = FirmwareNameUtf8();
    origin.deviceKind = launchOptions.deviceKind;
    origin.probeEnabled = launchOptions.probeEnabled;
    return origin;
}

}  // namespace

int RunBoxesSideBySide(const std::vector<std::string>& addresses, const std::string& givenLine) {
    NativePath program;
    if (!GetExecutablePath(program)) {
        return kExitIncomplete;
    }
    // The line was made from UTF-16 without best fit, so this gives back what
    // was typed (a character the code page lacks stays the "?" that every box
    // then refuses alike).
    NativePath given;
    if (!AnsiTextToPath(givenLine.c_str(), given)) {
        return kExitIncomplete;
    }
    // Sized once: the summary keeps a pointer to the results.
    std::vector<BoxResult> results(addresses.size());
    for (std::size_t index = 0; index < addresses.size(); ++index) {
        results[index].address = addresses[index];
    }
    std::vector<BoxProcess> boxes(addresses.size());
    const HWND summary = launchOptions.quiet ? nullptr : OpenRoundSummary(results);

    for (std::size_t index = 0; index < boxes.size(); ++index) {
        StartBox(boxes[index], results[index], program, index + 1, boxes.size(), given);
        if (summary != nullptr && results[index].end != BoxEnd::Running) {
            ShowBoxEnded(summary, index);
        }
    }
    WaitForBoxes(boxes, results, summary);

    const RetryListPlace retryList = KeepRetryList(RetryListText(results, OriginOfRound()));
    if (summary != nullptr) {
        ShowRoundEnded(summary, retryList);
        MSG message;
        while (IsWindow(summary) && GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (!SummaryTakesMessage(summary, message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }
    return RoundExitCode(results);
}
