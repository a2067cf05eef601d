#include "message_pump.h"

bool PumpMessagesUntil(ULONGLONG deadline) {
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            return true;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now),
                                  QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                return false;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}
