#include "system_awake.h"

#include <windows.h>

namespace {

bool asked = false;

}  // namespace

void KeepSystemAwake() {
    if (!asked) {
        asked = SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) != 0;
    }
}

void LetSystemSleep() {
    if (asked) {
        SetThreadExecutionState(ES_CONTINUOUS);
        asked = false;
    }
}
