#pragma once

#include "common/launch_options.h"

// The text after the program's own name and the blanks that follow it, as the
// entry point of a GUI program receives it. Double-byte characters in a quoted
// program name are stepped over whole.
const char* SkipProgramName(const char* fullCommandLine);

// Lower-cases `commandLine` in place and fills `options` from it. True only
// when a device kind and "/fm1:" were both found and the firmware name fits.
bool ParseCommandLine(char* commandLine, LaunchOptions& options);
