// The line rules of the boot.ini rewrite, as pure functions of the text of one line.
#pragma once

#include <string>
#include <string_view>

namespace zorvane {

// Appended to an ARC-path entry, it makes the loader start minimal Safe Mode with the
// SafeBoot "AlternateShell" as the shell.
inline constexpr std::string_view SafeModeSwitch = " /SAFEBOOT:MINIMAL(ALTERNATESHELL)";

// "[OPERATING SYSTEM" at the first character, in any letter case; what follows is not looked at.
bool IsOperatingSystemHeader(std::string_view line);
// "MULTI(0" at the first character, in any letter case: an entry that boots Windows by ARC path.
bool IsArcPathEntry(std::string_view line);
// "[" at the first character, as read.
bool StartsSection(std::string_view line);

// The line with the switch appended at its very end, whatever it already carries.
std::string WithSafeModeSwitch(std::string_view line);
// The line without every switch that stands at its end; everything else is kept.
std::string WithoutSafeModeSwitch(std::string_view line);

// The rewrite of a whole boot.ini, one line at a time, in file order: the lines up to and
// including the operating-system header stay, the ARC-path entries of that section get the
// switch, and the header of the next section and everything after it stay.
class SafeModeSwitchRewrite {
  public:
    std::string Next(std::string_view line);

  private:
    enum class Phase { Head, Entries, Tail } phase_ = Phase::Head;
};

}  // namespace zorvane
