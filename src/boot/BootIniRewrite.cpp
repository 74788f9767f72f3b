#include "boot/BootIniRewrite.h"

#include <algorithm>

#include "platform/AsciiText.h"

namespace zorvane {

namespace {

bool StartsInAnyCase(std::string_view line, std::string_view upperPrefix) {
    return AsciiUpper(line.substr(0, upperPrefix.size())) == upperPrefix;
}

std::string_view WithoutTrailingBlanks(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// Where the value of a "default=" line starts (blanks before the "=" allowed), or npos.
std::size_t DefaultValueStart(std::string_view line) {
    if (!StartsInAnyCase(line, "DEFAULT")) return std::string_view::npos;
    const std::size_t equals = line.find_first_not_of(" \t", 7);
    return equals != std::string_view::npos && line[equals] == '=' ? equals + 1
                                                                   : std::string_view::npos;
}

bool SameArcPath(std::string_view a, std::string_view b) {
    return AsciiUpper(WithoutTrailingBlanks(a)) == AsciiUpper(WithoutTrailingBlanks(b));
}

}  // namespace

bool IsOperatingSystemHeader(std::string_view line) {
    return StartsInAnyCase(line, "[OPERATING SYSTEM");
}

bool IsBootLoaderHeader(std::string_view line) {
    return StartsInAnyCase(line, "[BOOT LOADER");
}

bool IsArcPathEntry(std::string_view line) {
    return StartsInAnyCase(line, "MULTI(") || StartsInAnyCase(line, "SCSI(") ||
           StartsInAnyCase(line, "SIGNATURE(");
}

bool StartsSection(std::string_view line) {
    return line.starts_with('[');
}

std::string_view EntryArcPath(std::string_view entry) {
    return WithoutTrailingBlanks(entry.substr(0, entry.find('=')));
}

std::string WithSafeModeSwitch(std::string_view line) {
    std::string result(line);
    result += SafeModeSwitch;
    return result;
}

std::string WithoutSafeBootOptions(std::string_view entry) {
    std::string result;
    bool quoted = false;
    for (std::size_t at = 0; at < entry.size();) {
        if (entry[at] == '"') quoted = !quoted;
        if (quoted || !StartsInAnyCase(entry.substr(at), "/SAFEBOOT:")) {
            result += entry[at++];
            continue;
        }
        if (result.ends_with(' ') || result.ends_with('\t')) result.pop_back();
        at = std::min(entry.find_first_of(" \t", at), entry.size());
    }
    return result;
}

std::string WithoutSafeModeSwitch(std::string_view line) {
    while (line.ends_with(SafeModeSwitch)) line.remove_suffix(SafeModeSwitch.size());
    return std::string(line);
}

SafeModeBootIni SafeModeStartOf(const std::vector<std::string>& lines,
                                std::string_view runningSystem) {
    SafeModeBootIni result{lines, 0};
    std::string runningEntry;  // the running system's ARC path as its entry spells it
    std::vector<std::size_t> defaultLines;
    bool systemsSeen = false;
    bool inSystems = false;
    bool inLoader = false;
    for (std::size_t i = 0; i < result.lines.size(); ++i) {
        std::string& line = result.lines[i];
        if (StartsSection(line)) {
            // Only the first operating-system section holds the entries the loader offers.
            inSystems = !systemsSeen && IsOperatingSystemHeader(line);
            systemsSeen = systemsSeen || inSystems;
            inLoader = IsBootLoaderHeader(line);
        } else if (inSystems && IsArcPathEntry(line)) {
            if (runningEntry.empty() && !runningSystem.empty() &&
                SameArcPath(EntryArcPath(line), runningSystem))
                runningEntry = EntryArcPath(line);
            line = WithSafeModeSwitch(WithoutSafeBootOptions(line));
            ++result.switchedEntries;
        } else if (inLoader && DefaultValueStart(line) != std::string_view::npos) {
            defaultLines.push_back(i);
        }
    }
    if (runningEntry.empty()) return result;  // the default is left as the user had it
    for (const std::size_t i : defaultLines) {
        std::string& line = result.lines[i];
        const std::size_t value = DefaultValueStart(line);
        if (!SameArcPath(std::string_view(line).substr(value), runningEntry))
            line.replace(value, std::string::npos, runningEntry);
    }
    return result;
}

}  // namespace zorvane
