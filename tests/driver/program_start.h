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
// GetCommandLine returns. The process and its id (the thread's handle is
// closed already), or a null handle with `error` set.
PROCESS_INFORMATION StartProgram(const ProgramStart& program, std::string& error);
