#pragma once

#include <windows.h>

#include "arguments.h"

// The commands only the benchmarks (bench/) use: timings and memory figures.
// Like those of commands.h, each is given its arguments and the window they
// select (null for start-time, which selects none).

// The moments of one update, to the millisecond (timeline_command.cpp)
int TimelineCommand(const Arguments& arguments, HWND addressDialog);

// From the program's start to its address dialog, repeated (start_time_command.cpp)
int StartTimeCommand(const Arguments& arguments, HWND);
