#include "box_channel.h"

#include <algorithm>
#include <cstdint>

#include "common/launch_options.h"

namespace {

// Many times a report (kMaxBoxReportBytes): the box's one write never waits
// for the starter, which reads only once the box has ended.
constexpr DWORD kChannelBytes = 64 * 1024;

HANDLE HandleOfValue(std::uint32_t value) {
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value));
}

void CloseWritingEnd(BoxChannel& channel) {
    if (channel.writing != nullptr) {
        CloseHandle(channel.writing);
        channel.writing = nullptr;
    }
}

}  // namespace

bool OpenBoxChannel(BoxChannel& channel) {
    channel = BoxChannel{};
    // Neither end is inherited by any process but the one StartWithChannel starts.
    return CreatePipe(&channel.reading, &channel.writing, nullptr, kChannelBytes) != FALSE;
}

std::wstring BoxChannelOption(const BoxChannel& channel) {
    // A handle's value fits 32 bits, also in a 64-bit process.
    const std::string value = std::to_string(
        static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(channel.writing)));
    return L"/report:" + std::wstring(value.begin(), value.end());
}

HANDLE StartWithChannel(const NativePath& program, std::wstring line, BoxChannel& channel) {
    // The boxes are started one at a time, and each writing end is inheritable
    // only for its own box's start: no box holds another's channel open.
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const bool inheritable =
        SetHandleInformation(channel.writing, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) != FALSE;
    const bool started =
        inheritable && CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &process) != FALSE;
    const DWORD error = GetLastError();
    CloseWritingEnd(channel);
    SetLastError(error);
    if (!started) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

std::optional<BoxReport> ReceiveBoxReport(BoxChannel& channel) {
    CloseWritingEnd(channel);
    // Only what is there: the box has ended, so nothing more can come, and a
    // read never waits for a writer that some other process might hold.
    std::string received;
    DWORD available = 0;
    while (received.size() <= kMaxBoxReportBytes &&
           PeekNamedPipe(channel.reading, nullptr, 0, nullptr, &available, nullptr) &&
           available > 0) {
        char buffer[1024];
        DWORD read = 0;
        if (!ReadFile(channel.reading, buffer, std::min<DWORD>(available, sizeof buffer), &read,
                      nullptr) ||
            read == 0) {
            break;
        }
        received.append(buffer, read);
    }
    CloseHandle(channel.reading);
    channel.reading = nullptr;
    return ReadBoxReport(received);
}

void TellStarter(const BoxReport& report) {
    if (launchOptions.boxReport == 0) {
        return;
    }
    const HANDLE channel = HandleOfValue(launchOptions.boxReport);
    // Only ever a pipe: a value typed by hand names nothing else we would write to.
    if (GetFileType(channel) != FILE_TYPE_PIPE) {
        return;
    }
    const std::string text = BoxReportText(report);
    DWORD written = 0;
    static_cast<void>(
        WriteFile(channel, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    CloseHandle(channel);
    launchOptions.boxReport = 0;  // told once: the handle is gone
}
