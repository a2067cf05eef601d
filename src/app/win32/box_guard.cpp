#include "box_guard.h"

#include <windows.h>

#include <cstdint>
#include <string>

#include "transfer/decimal_address.h"
#include "window_text.h"

namespace {

HANDLE heldGuard = nullptr;

// In the global namespace, so that a second session on the same PC (another
// user switched in, a remote desktop) sees the guard too; named after the
// address as the endpoint reads it, not as it was typed.
std::wstring GuardName(std::uint32_t address) {
    const std::string dotted =
        std::to_string(address >> 24) + '.' + std::to_string((address >> 16) & 0xFF) + '.' +
        std::to_string((address >> 8) & 0xFF) + '.' + std::to_string(address & 0xFF);
    return L"Global\\TALVORIN_EthernetBox_VupUtility.Box." + WideFromUtf8(dotted);
}

}  // namespace

bool ClaimBoxGuard(const char* address) {
    std::uint32_t value = 0;
    if (heldGuard != nullptr || !ParseDecimalAddress(address, &value)) {
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    const HANDLE guard = CreateMutexW(nullptr, FALSE, GuardName(value).c_str());
    // Null: a guard of that name is there and this user may not open it
    // (another user's, or an elevated process's): the box is being updated.
    if (guard == nullptr) {
        return false;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(guard);
        return false;
    }
    heldGuard = guard;
    return true;
}

void ReleaseBoxGuard() {
    if (heldGuard != nullptr) {
        CloseHandle(heldGuard);
        heldGuard = nullptr;
    }
}
