#include "process_figures.h"

#include <psapi.h>

long long WallClockMicros() {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    ULARGE_INTEGER ticks{};
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    // FILETIME counts 100 ns from 1601; the Unix epoch is 11644473600 s later.
    constexpr unsigned long long kEpochDifference = 116444736000000000ULL;
    return static_cast<long long>((ticks.QuadPart - kEpochDifference) / 10);
}

std::optional<MemoryFigures> ReadMemoryFigures(HANDLE process) {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters)) {
        return std::nullopt;
    }
    // Windows counts a process's private bytes (its commit charge) in both
    // PagefileUsage and PrivateUsage; Wine fills only the first for another
    // process, from the resident anonymous memory and swap Linux reports.
    return MemoryFigures{counters.WorkingSetSize, counters.PeakWorkingSetSize,
                         counters.PagefileUsage, counters.PeakPagefileUsage};
}

std::string MemoryFiguresText(const MemoryFigures& figures) {
    const auto kib = [](SIZE_T bytes) { return std::to_string(bytes / 1024); };
    return "working-set-kib=" + kib(figures.workingSet) +
           " peak-working-set-kib=" + kib(figures.peakWorkingSet) +
           " private-kib=" + kib(figures.privateBytes) +
           " peak-private-kib=" + kib(figures.peakPagefileUsage);
}
