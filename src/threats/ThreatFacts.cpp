#include "threats/ThreatFacts.h"

#include "platform/AsciiText.h"

namespace zorvane {

bool ContainsUbrielMarker(std::string_view text) {
    return AsciiUpper(text).find(UbrielMarker) != std::string::npos;
}

std::string RepairedShell(std::string_view shell) {
    const auto space = shell.find(' ');
    if (space == std::string_view::npos) return std::string(DefaultShell);
    const std::string_view program = shell.substr(0, space);
    if (program.empty() || ContainsUbrielMarker(program)) return std::string(DefaultShell);
    return std::string(program);
}

}  // namespace zorvane
