#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "arguments.h"

// A program to start: its Windows path and its whole command line.
struct ProgramStart {
    std::wstring path;
    std::wstring commandLine;
};

// --app PATH (a Linux path is translated under Wine) and --cmdline LINE
// (default: the quoted path). Empty, with `error` set, without --app.
std::optional<ProgramStart> ReadProgramStart(const Arguments& arguments, std::string& error);

// Starts it with exactly that command line, byte for byte what its
// GetCommandLine returns; `suspended`, its first thread waits for a
// ResumeThread. The process and its ids (the thread's handle is closed
// already unless suspended), or a null handle with `error` set.
PROCESS_INFORMATION StartProgram(const ProgramStart& program, std::string& error,
                                 bool suspended = false);
