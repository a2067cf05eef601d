#include "update_attempt.h"

#include "system_awake.h"

UpdateAttempt updateAttempt;

namespace {

constexpr LONGLONG kFileTimeUnitsPerMinute = 60LL * 10 * 1000 * 1000;

LONGLONG FileTimeUnits(const SYSTEMTIME& time) {
    FILETIME units{};
    SystemTimeToFileTime(&time, &units);
    return (static_cast<LONGLONG>(units.dwHighDateTime) << 32) | units.dwLowDateTime;
}

}  // namespace

LocalTime LocalTimeNow() {
    SYSTEMTIME utc{};
    GetSystemTime(&utc);
    SYSTEMTIME local = utc;
    SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
    LocalTime time;
    time.year = local.wYear;
    time.month = local.wMonth;
    time.day = local.wDay;
    time.hour = local.wHour;
    time.minute = local.wMinute;
    time.second = local.wSecond;
    time.utcOffsetMinutes =
        static_cast<int>((FileTimeUnits(local) - FileTimeUnits(utc)) / kFileTimeUnitsPerMinute);
    return time;
}

void BeginAttempt() {
    const bool showMessages = updateAttempt.showMessages;
    const bool showInPlace = updateAttempt.showInPlace;
    updateAttempt = UpdateAttempt{};
    updateAttempt.showMessages = showMessages;
    updateAttempt.showInPlace = showInPlace;
    updateAttempt.startedAt = GetTickCount64();
    KeepSystemAwake();
}

void NoteOutcome(const UpdateOutcome& outcome) {
    updateAttempt.ended = true;
    updateAttempt.outcome = outcome;
    updateAttempt.endedAt = GetTickCount64();
    updateAttempt.endedLocal = LocalTimeNow();
    // The update is over: a message that waits for its OK keeps no PC awake.
    LetSystemSleep();
}
