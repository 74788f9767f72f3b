#include "frontend/CommandLine.h"

#include "frontend/ArgumentSplitting.h"
#include "platform/AnsiCharStep.h"
#include "platform/WindowsApi.h"

namespace zorvane {

namespace {

constexpr DWORD ModulePathBufferSize = 261;

ArgumentReader CommandLineArguments() {
    const char* line = Windows().GetCommandLineA();
    return {line != nullptr ? line : "", NextAnsiChar};
}

}  // namespace

int ArgumentCount() {
    ArgumentReader arguments = CommandLineArguments();
    int count = 0;
    while (!arguments.Next().empty()) ++count;
    return count;
}

std::string ArgumentAt(int index) {
    if (index == 0) {
        // The program's own file, however it was named on the command line.
        char path[ModulePathBufferSize] = {};
        DWORD length = Windows().GetModuleFileNameA(nullptr, path, ModulePathBufferSize);
        if (length > ModulePathBufferSize) length = ModulePathBufferSize;
        return std::string(path, length);
    }
    if (index < 0) return {};
    ArgumentReader arguments = CommandLineArguments();
    std::string argument;
    for (int i = 1; i <= index; ++i) {
        argument = arguments.Next();
        if (argument.empty()) return {};
    }
    return argument;
}

}  // namespace zorvane
