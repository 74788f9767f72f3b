#include "rescue/Output.h"

#include <cstdio>

namespace zorvane::rescue {

void Output::Say(std::string_view lines) {
    std::fwrite(lines.data(), 1, lines.size(), stdout);
    std::fflush(stdout);
    text_ += lines;
}

}  // namespace zorvane::rescue
