// Command-line bytes -> ArgumentReader with a one-byte step, checked against a plain model of
// the splitting rules (blanks and control bytes separate, quotes group and vanish, empty ""
// pairs between arguments are skipped); and with a double-byte step whose lead bytes are all
// bytes from 128 up, which must never read past the terminating zero nor lose a byte.
#include <algorithm>
#include <cstdint>
#include <memory>

#include "FuzzSupport.h"
#include "frontend/ArgumentSplitting.h"

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

std::vector<std::string> Split(const char* line, zorvane::CharStep step) {
    zorvane::ArgumentReader reader(line, step);
    std::vector<std::string> arguments;
    for (std::string arg = reader.Next(); !arg.empty(); arg = reader.Next())
        arguments.push_back(arg);
    FUZZ_CHECK(reader.Next().empty());
    return arguments;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string line(reinterpret_cast<const char*>(data), size);
    line.resize(line.find('\0') == std::string::npos ? line.size() : line.find('\0'));
    std::vector<std::string> expected;
    std::size_t at = 0;
    TakeArgument(line, at);
    for (std::string arg = TakeArgument(line, at); !arg.empty(); arg = TakeArgument(line, at))
        expected.push_back(arg);
    FUZZ_CHECK(Split(line.c_str(), [](const char* p) { return p + 1; }) == expected);

    // A heap copy of exactly the line and its zero, so that a step past the end is reported.
    const auto exact = std::make_unique<char[]>(line.size() + 1);
    std::copy(line.c_str(), line.c_str() + line.size() + 1, exact.get());
    std::size_t bytes = 0;
    for (const std::string& arg : Split(exact.get(), [](const char* p) {
             return p + (static_cast<unsigned char>(*p) >= 128 ? 2 : 1);
         }))
        bytes += arg.size();
    FUZZ_CHECK(bytes <= line.size());
    return 0;
}
