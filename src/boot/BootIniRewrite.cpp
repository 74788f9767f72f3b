#include "boot/BootIniRewrite.h"

#include "platform/AsciiText.h"

namespace zorvane {

bool IsOperatingSystemHeader(std::string_view line) {
    return AsciiUpper(line).starts_with("[OPERATING SYSTEM");
}

bool IsArcPathEntry(std::string_view line) {
    return AsciiUpper(line).starts_with("MULTI(0");
}

bool StartsSection(std::string_view line) {
    return line.starts_with('[');
}

std::string WithSafeModeSwitch(std::string_view line) {
    std::string result(line);
    result += SafeModeSwitch;
    return result;
}

std::string WithoutSafeModeSwitch(std::string_view line) {
    while (line.ends_with(SafeModeSwitch)) line.remove_suffix(SafeModeSwitch.size());
    return std::string(line);
}

std::string SafeModeSwitchRewrite::Next(std::string_view line) {
    switch (phase_) {
        case Phase::Head:
            if (IsOperatingSystemHeader(line)) phase_ = Phase::Entries;
            return std::string(line);
        case Phase::Entries:
            if (StartsSection(line)) {
                phase_ = Phase::Tail;
                return std::string(line);
            }
            return IsArcPathEntry(line) ? WithSafeModeSwitch(line) : std::string(line);
        case Phase::Tail:
            break;
    }
    return std::string(line);
}

}  // namespace zorvane
