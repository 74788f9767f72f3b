#include "ProgramRun.h"

#include "frontend/RunFlow.h"

namespace zorvane::testing {

RunResult RunProgram(sim::SimWindows& machine, std::string commandLine, std::string input,
                     std::string modulePath) {
    machine.StartProcess(std::move(commandLine), std::move(modulePath), std::move(input));
    const int exitCode = RunOnMachine(machine);
    RunResult result{exitCode, machine.Stdout(), machine.Stderr()};
    machine.EndProcess();
    return result;
}

int RunOnMachine(sim::SimWindows& machine) {
    return RunZorvane(machine);
}

}  // namespace zorvane::testing
