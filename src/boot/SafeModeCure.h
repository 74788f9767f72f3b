#pragma once

namespace zorvane {

// Windows 2000/XP: arrange a minimal Safe Mode start that runs the program again with
// "/SAFEMODE /AUTO", then restart. Registry and file errors pass to the caller.
void ScheduleSafeModeCure();

}  // namespace zorvane
