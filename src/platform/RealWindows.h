// The real Windows behind the program's Windows door: kernel32, advapi32 and user32, one call
// for one method. Built only into zorvane.exe.
#pragma once

#include "platform/WindowsApi.h"

namespace zorvane {

WindowsApi& RealWindows();

}  // namespace zorvane
