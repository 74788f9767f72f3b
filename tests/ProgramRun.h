// Runs the whole program as one process on the simulated machine.
#pragma once

#include <string>

#include "sim/SimWindows.h"

namespace zorvane::testing {

struct RunResult {
    int exitCode;
    std::string out;
    std::string err;
};

RunResult RunProgram(sim::SimWindows& machine, std::string commandLine, std::string input = "",
                     std::string modulePath = "C:\\zorvane.exe");

// What the machine runs when it starts the program during a restart.
int RunOnMachine(sim::SimWindows& machine);

}  // namespace zorvane::testing
