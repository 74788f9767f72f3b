// GetCommandLineA bytes -> ArgumentCount / ArgumentAt, checked against a plain model of the
// splitting rules (blanks and control bytes separate, quotes group and vanish, empty "" pairs
// between arguments are skipped).
#include <cstdint>

#include "FuzzSupport.h"
#include "frontend/CommandLine.h"
#include "sim/SimWindows.h"

namespace {

// The command line holds no zero byte here: every byte up to 32 is a blank.
std::string TakeArgument(const std::string& line, std::size_t& at) {
    const auto blank = [&] { return static_cast<unsigned char>(line[at]) <= 32; };
    while (at < line.size() && (blank() || line.compare(at, 2, "\"\"") == 0))
        at += line[at] == '"' ? 2 : 1;
    std::string argument;
    for (bool quoted = false; at < line.size() && (quoted || !blank()); ++at)
        line[at] == '"' ? void(quoted = !quoted) : argument.push_back(line[at]);
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
        const int count = zorvane::ArgumentCount();
        FUZZ_CHECK(count == static_cast<int>(expected.size()));
        for (int i = 1; i <= count + 1; ++i)
            FUZZ_CHECK(zorvane::ArgumentAt(i) == (i <= count ? expected[i - 1] : ""));
    }
    machine.EndProcess();
    machine.ClearJournal();
    return 0;
}
