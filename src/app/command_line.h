#pragma once

#include "app/address_list.h"
#include "common/launch_options.h"

// The text after the program's own name and the blanks that follow it, as the
// entry point of a GUI program receives it. Double-byte characters in a quoted
// program name are stepped over whole.
const char* SkipProgramName(const char* fullCommandLine);

// Lower-cases `commandLine` in place and fills `options` from it. True only
// when a device kind and "/fm1:" were both found and the firmware name fits.
bool ParseCommandLine(char* commandLine, LaunchOptions& options);

// What start-up does with a command line.
enum class StartupVerdict {
    Incomplete,      // exit -1 at once
    AddressRefused,  // "/ip:" with an address the dialog would refuse: exit 8 at once
    Attended,        // the address dialog, as ever
    Unattended,      // the update at once, with typedAddress taken from "/ip:"
    UnattendedList,  // boxAddresses, each updated at once by a process of its own
};

constexpr int kExitIncomplete = -1;
constexpr int kExitAddressRefused = 8;

// ParseCommandLine, then the address of "/ip:", if given, checked and taken
// exactly as the address dialog takes what is typed (TakeTypedAddress); or
// its list of addresses, every one checked so, into options.boxAddresses
// (ReadAddressList: one refused refuses them all).
StartupVerdict ReadCommandLine(char* commandLine, LaunchOptions& options,
                               const AddressFileReader& readFile = ReadAddressFileBesideProgram);
