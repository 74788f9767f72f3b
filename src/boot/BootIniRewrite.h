// The line rules of the boot.ini rewrite, as pure functions of the text: no Windows call here.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zorvane {

// Appended to an ARC-path entry, it makes the loader start minimal Safe Mode with the
// SafeBoot "AlternateShell" as the shell.
inline constexpr std::string_view SafeModeSwitch = " /SAFEBOOT:MINIMAL(ALTERNATESHELL)";

// "[OPERATING SYSTEM" at the first character, in any letter case; what follows is not looked at.
bool IsOperatingSystemHeader(std::string_view line);
// "[BOOT LOADER" at the first character, in any letter case.
bool IsBootLoaderHeader(std::string_view line);
// An entry that boots Windows by ARC path: "MULTI(", "SCSI(" or "SIGNATURE(" at the first
// character, in any letter case (a disk reached through the firmware, through the loader's own
// SCSI driver, or by its disk signature). Indented lines and "C:\...=" lines are not entries.
bool IsArcPathEntry(std::string_view line);
// "[" at the first character, as read.
bool StartsSection(std::string_view line);
// The ARC path that an entry boots: its text before the first "=", without the blanks that end
// it. The loader matches "default=" against it without regard to letter case.
std::string_view EntryArcPath(std::string_view entry);

// The line with the switch appended at its very end, whatever it already carries.
std::string WithSafeModeSwitch(std::string_view line);
// The entry without the Safe Mode options it carries of its own ("/SAFEBOOT:" in any letter
// case up to the next blank, with the blank before it; msconfig puts "/SAFEBOOT:NETWORK" there),
// which the loader would honour before the switch appended after them. Text in quotation marks
// (the entry's name) holds no option.
std::string WithoutSafeBootOptions(std::string_view entry);
// The line without every switch that stands at its end; everything else is kept.
std::string WithoutSafeModeSwitch(std::string_view line);

struct SafeModeBootIni {
    std::vector<std::string> lines;
    int switchedEntries = 0;  // none: the loader would start Windows normally, never the cure
};

// The boot.ini of the Safe Mode start, made from the lines of the one the user had: every
// ARC-path entry of the first operating-system section gets the switch in place of its own Safe
// Mode options, and when one of them
// boots `runningSystem` (the loader's name of the running Windows, empty when unknown), the
// "default=" lines of the loader section name that entry, so that the loader starts this system
// in Safe Mode and not another one listed as the default. All other lines stay as they are.
SafeModeBootIni SafeModeStartOf(const std::vector<std::string>& lines,
                                std::string_view runningSystem);

}  // namespace zorvane
