#include "watch_channel.h"

#include "arguments.h"
#include "host_path.h"
#include "window_search.h"
#include "window_text.h"

using namespace watch_channel;

namespace {

// Where the build put the hook of each architecture (Linux paths under Wine).
std::wstring HookPath(bool x86) {
    return WindowsPathFromHost(WideFromUtf8(x86 ? ETHBOX_WATCH_HOOK_X86 : ETHBOX_WATCH_HOOK));
}

bool IsWow64(HANDLE process) {
    BOOL wow64 = FALSE;
    return IsWow64Process(process, &wow64) && wow64;
}

std::string ErrorText(const std::string& what, DWORD error = GetLastError()) {
    return what + " (error " + std::to_string(error) + ")";
}

}  // namespace

bool WatchChannel::Connect(HANDLE process, DWORD threadId, std::string& error) {
    const DWORD processId = GetProcessId(process);
    // A hook left in the program by an earlier watch keeps its ring open:
    // this is then that ring, read from where it ends.
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        sizeof(Ring), RingName(processId).c_str());
    ring_ = mapping != nullptr
                ? static_cast<Ring*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(Ring)))
                : nullptr;
    ready_ = CreateEventW(nullptr, FALSE, FALSE, ReadyEventName(processId).c_str());
    if (ring_ == nullptr || ready_ == nullptr) {
        error = ErrorText("could not make the watch channel");
        return false;
    }
    ring_->read = ring_->written;
    ring_->lost = 0;
    ring_->hookState = 0;
    if (IsWow64(process) != IsWow64(GetCurrentProcess())) {
        return HookByHelper(threadId, processId, error);
    }
    const std::wstring path = HookPath(false);
    HMODULE hook = LoadLibraryW(path.c_str());
    FARPROC procedure = hook != nullptr ? GetProcAddress(hook, "WatchHookProcedure") : nullptr;
    if (procedure == nullptr ||
        !SetWindowsHookExW(WH_CALLWNDPROCRET,
                           reinterpret_cast<HOOKPROC>(reinterpret_cast<void (*)()>(procedure)),
                           hook, threadId)) {
        error = ErrorText("could not set the watch hook " + Utf8FromWide(path));
        return false;
    }
    return true;
}

// A 64-bit process cannot hook a 32-bit thread: the 32-bit rundll32 sets the
// 32-bit hook, and says in the ring whether it could.
bool WatchChannel::HookByHelper(DWORD threadId, DWORD processId, std::string& error) {
    const std::wstring path = HookPath(true);
    wchar_t system[MAX_PATH] = {};
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES ||
        GetSystemWow64DirectoryW(system, MAX_PATH) == 0) {
        error = "no 32-bit watch hook at " + Utf8FromWide(path) +
                " (cmake --build --preset windows-x86 --target ethbox-watch-hook)";
        return false;
    }
    const std::wstring rundll = std::wstring(system) + L"\\rundll32.exe";
    std::wstring line = L"\"" + rundll + L"\" \"" + path + L"\",HoldWatchHook " +
                        std::to_wstring(threadId) + L" " + std::to_wstring(processId) + L" " +
                        std::to_wstring(GetCurrentProcessId());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION helper{};
    if (!CreateProcessW(rundll.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &helper)) {
        error = ErrorText("could not start " + Utf8FromWide(rundll));
        return false;
    }
    const ULONGLONG deadline = GetTickCount64() + kDefaultTimeoutMs * WaitScale();
    const HANDLE handles[] = {ready_, helper.hProcess};
    for (ULONGLONG now = GetTickCount64(); ring_->hookState == 0 && now < deadline;
         now = GetTickCount64()) {
        if (WaitForMultipleObjects(2, handles, FALSE, static_cast<DWORD>(deadline - now)) !=
            WAIT_OBJECT_0) {
            break;  // the helper ended, or the time is up
        }
    }
    CloseHandle(helper.hThread);
    CloseHandle(helper.hProcess);
    if (ring_->hookState != 1) {
        error = ErrorText("the 32-bit rundll32 did not set the watch hook", ring_->hookError);
        return false;
    }
    return true;
}

// Until the ring is empty: the hook wakes the driver only for a record
// written after it had read all the others, and one written while it read
// them must be found now, before it waits again.
bool WatchChannel::Take(std::vector<Record>& records, std::string& error) {
    for (LONG written = ring_->written; written != ring_->read; written = ring_->written) {
        MemoryBarrier();  // the records it counts are there
        for (LONG next = ring_->read; next != written; ++next) {
            records.push_back(ring_->records[static_cast<std::uint32_t>(next) % kCapacity]);
            if (records.back().textLength >= kTextCapacity) {
                error = "a text longer than the watch channel carries";
                return false;
            }
        }
        InterlockedExchange(&ring_->read, written);  // a barrier, before written is read again
    }
    if (ring_->lost != 0) {
        error = "the watch fell behind: " + std::to_string(ring_->lost) +
                " changes found no room in its channel";
        return false;
    }
    return true;
}
