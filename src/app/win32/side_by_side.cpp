#include "side_by_side.h"

#include <windows.h>

#include "app/command_line.h"
#include "platform/ansi_text.h"
#include "platform/executable_path.h"

namespace {

// The process of one box, or null when it could not be started.
HANDLE StartBox(const NativePath& program, const std::string& address, std::size_t number,
                std::size_t count, const std::wstring& givenLine) {
    const std::string box = std::to_string(number) + '/' + std::to_string(count);
    NativePath wideAddress;
    NativePath wideBox;
    if (!AnsiTextToPath(address.c_str(), wideAddress) || !AnsiTextToPath(box.c_str(), wideBox)) {
        return nullptr;
    }
    std::wstring line =
        L"\"" + program + L"\" /ip:" + wideAddress + L" /box:" + wideBox + L' ' + givenLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
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
    std::vector<HANDLE> boxes;
    for (std::size_t index = 0; index < addresses.size(); ++index) {
        boxes.push_back(StartBox(program, addresses[index], index + 1, addresses.size(), given));
    }
    int exitCode = 0;
    for (const HANDLE box : boxes) {
        DWORD code = static_cast<DWORD>(kExitIncomplete);
        if (box != nullptr) {
            WaitForSingleObject(box, INFINITE);
            GetExitCodeProcess(box, &code);
            CloseHandle(box);
        }
        if (exitCode == 0 && code != 0) {
            exitCode = static_cast<int>(code);
        }
    }
    return exitCode;
}
