// The HKEY_LOCAL_MACHINE keys that boot control writes into.
#pragma once

#include <string_view>

#include "platform/Registry.h"

namespace zorvane {

// Control set 001 itself: the loader reads Safe Mode settings from it before any control set
// is chosen as current.
inline constexpr std::string_view SafeBootKey = "\\SYSTEM\\ControlSet001\\Control\\SafeBoot";
inline constexpr std::string_view WinlogonKey =
    "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
inline constexpr std::string_view RunOnceKey =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// Selects HKEY_LOCAL_MACHINE, creates the key when it is missing (raises when it cannot) and
// makes it the current key. The open is not tested: when it fails, the first write raises.
void OpenOrMakeMachineKey(TRegistry& registry, std::string_view path);

}  // namespace zorvane
