#pragma once

#include <string>
#include <vector>

#include "device_simulator.h"

// The command line of ethbox-sim, turned into simulator options.

struct SimCommandLine {
    SimulatorOptions options;
    bool help = false;
    bool quiet = false;       // print only lines that are not datagrams
    bool timestamps = false;  // lead each line with the wall-clock time
};

// False with a message in `error` for an unknown switch or a bad value.
bool ParseSimCommandLine(const std::vector<std::string>& arguments, SimCommandLine* commandLine,
                         std::string* error);

// The text --help prints.
const char* SimUsage();
