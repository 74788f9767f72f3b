#include "rescue/Output.h"

#include <cstdio>

namespace zorvane::rescue {

void Output::Say(std::string_view lines) {
    std::fwrite(lines.data(), 1, lines.size(), stdout);
    std::fflush(stdout);
    text_ += lines;
}

void Output::Finish(std::string_view instead) {
    std::string line = instead.empty() ? std::move(verdict_) : std::string(instead) + "\n";
    verdict_.clear();
    Say(line);
}

}  // namespace zorvane::rescue
