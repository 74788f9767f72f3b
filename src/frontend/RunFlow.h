// The program: host facts, banner, options, one branch, the pause. Returns the exit code.
#pragma once

#include "platform/WindowsApi.h"

namespace zorvane {

int RunZorvane(WindowsApi& windows);

}  // namespace zorvane
