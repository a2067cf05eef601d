#pragma once

#include <windows.h>

#include <optional>
#include <string>

// Figures about a process, read from outside, for the benchmarks.

// The wall-clock time in microseconds since 1970, to the clock's precision:
// the clock that Linux programs on the same machine (the simulated device's
// timestamps) read too, so their timings line up with ours.
long long WallClockMicros();

// What GetProcessMemoryInfo says of the process, in bytes.
struct MemoryFigures {
    SIZE_T workingSet;
    SIZE_T peakWorkingSet;
    SIZE_T privateBytes;
    SIZE_T peakPagefileUsage;
};

// Empty when the process cannot be asked (gone, or no rights).
std::optional<MemoryFigures> ReadMemoryFigures(HANDLE process);

// "working-set-kib=... peak-working-set-kib=... private-kib=... peak-private-kib=..."
std::string MemoryFiguresText(const MemoryFigures& figures);
