// GetCommandLineA bytes -> ArgumentCount / ArgumentAt, checked against a plain model of the
// splitting rules (blanks and control bytes separate, quotes group and vanish, empty "" pairs
// between arguments are skipped).
#include <cstdint>

#include "FuzzSupport.h"
#include "frontend/CommandLine.h"
#include "sim/SimWindows.h"

namespace {

std::string TakeArgument(const std::string& line, std::size_t& at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(line[i]); };
    while (at < line.size() &&
           ((byte(at) >= 1 && byte(at) <= 32) || line.compare(at, 2, "\"\"") == 0))
        at += line[at] == '"' ? 2 : 1;
    std::string argument;
    for (bool quoted = false; at < line.size() && (quoted || byte(at) > 32); ++at) {
        if (line[at] == '"') {
            quoted = !quoted;
        } else {
            argument += line[at];
        }
    }
    return argument;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static sim::SimWindows machine;
    std::string line(reinterpret_cast<const char*>(data), size);
    line.resize(line.find('\0') == std::string::npos ? line.size() : line.find('\0'));
    std::vector<std::string> expected;
    std::size_t at = 0;
    TakeArgument(line, at);
    for (std::string arg = TakeArgument(line, at); !arg.empty(); arg = TakeArgument(line, at))
        expected.push_back(arg);

    machine.StartProcess(line);
    {
        const zorvane::WindowsScope scope(machine);
        FUZZ_CHECK(zorvane::ArgumentCount() == static_cast<int>(expected.size()));
        for (std::size_t i = 0; i < expected.size(); ++i)
            FUZZ_CHECK(zorvane::ArgumentAt(static_cast<int>(i) + 1) == expected[i]);
        FUZZ_CHECK(zorvane::ArgumentAt(static_cast<int>(expected.size()) + 1).empty());
    }
    machine.EndProcess();
    machine.ClearJournal();
    return 0;
}
