#pragma once

#include <string>

namespace zorvane {

// Windows 2000/XP: arrange a minimal Safe Mode start that runs the program again with
// "/SAFEMODE /AUTO", then restart. Answers the empty text then; otherwise why the cure cannot
// start, with everything this run changed rolled back and no restart. Registry and file errors
// pass to the caller.
std::string ScheduleSafeModeCure();

// Whether the last scheduling switched automatic logon off for the Safe Mode start, because it
// would have logged on another account (one that can neither cure nor undo the Safe Mode start):
// an administrator must then log on by hand.
bool SafeModeLogonByHand();

}  // namespace zorvane
