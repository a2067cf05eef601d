#pragma once

#include <gtest/gtest.h>

#include <string>

#include "device_simulator.h"
#include "sim_faults.h"

// Adds the faulty answer that `text` names, as ethbox-sim's --fault reads it
// ("ack3:drop", "data1:error=2"), to the simulated device's options.
inline void AddFault(SimulatorOptions& options, const std::string& text) {
    FaultyAnswer fault;
    std::string error;
    EXPECT_TRUE(ParseFaultyAnswer(text, &fault, &error)) << text << ": " << error;
    options.faults.push_back(fault);
}
