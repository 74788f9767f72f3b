// The HKEY_LOCAL_MACHINE keys that boot control writes into.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace zorvane {

// Control set 001 itself: the loader reads Safe Mode settings from it before any control set
// is chosen as current.
inline constexpr std::string_view SafeBootKey = "\\SYSTEM\\ControlSet001\\Control\\SafeBoot";
inline constexpr std::string_view WinlogonKey =
    "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
inline constexpr std::string_view RunOnceKey =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// The SafeBoot keys whose "AlternateShell" the next start may read: control set 001, and the
// control set that HKLM\SYSTEM\Select "Default" names when it is another one. A machine that
// ever started with Last Known Good starts from another set than 001, and its Safe Mode would
// then open a plain command prompt instead of the cure.
std::vector<std::string> SafeBootKeys();

// The loader's name of the running Windows, as boot.ini names the entry that starts it: the ARC
// path of its boot device ("SystemBootDevice") followed by the Windows directory without its
// drive letter. Empty when either part cannot be read.
std::string RunningSystemArcPath();

// The device of the partition the loader starts from, as HKLM\SYSTEM\Setup "SystemPartition"
// names it ("\Device\HarddiskVolume1"); empty when it cannot be read.
std::string SystemPartitionDevice();

// Windows' own alternate shell of a Safe Mode start.
inline constexpr std::string_view DefaultAlternateShell = "cmd.exe";

// "AlternateShell" in every SafeBoot key the next start may read (created where missing). The
// shell found there is kept beside it in "OLDAlternateShell" for the return to normal boot,
// unless a value is kept already (a second scheduling must not keep the first one's command
// file) or the shell found is a command file of the program. A failed write raises.
void SetAlternateShell(std::string_view shell);

// Puts back in every SafeBoot key the shell kept before the scheduling ("cmd.exe" when none was
// kept, or the kept one is empty) and deletes the kept value; answers the program's command
// files that the keys named. With `onlyFromTheProgram` (a later scan finishing an interrupted
// return, a scheduling rolled back) a key is looked at for reading first and changed only where
// the shell is a command file of the program (a kept value beside another shell is a leftover,
// and only deleted), keys are not created and a failure passes over that key. Otherwise (the
// return to normal boot, as the Safe Mode start runs it) missing keys are created and a failed
// write raises.
std::vector<std::string> PutBackAlternateShell(bool onlyFromTheProgram);

// Selects HKEY_LOCAL_MACHINE, creates the key when it is missing (raises when it cannot) and
// makes it the current key. The open is not tested: when it fails, the first write raises.
void OpenOrMakeMachineKey(TRegistry& registry, std::string_view path);

}  // namespace zorvane
