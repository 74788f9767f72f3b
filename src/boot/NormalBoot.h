#pragma once

namespace zorvane {

// Undo the Safe Mode arrangements, then restart. Registry errors pass to the caller.
void RestoreNormalBoot();

// Finishes a return to normal boot that stopped once boot.ini started Windows normally again:
// puts automatic logon back, the shell of a Safe Mode start back to cmd.exe, and removes the
// command file and the copy of the program. Leaves all alone while a Safe Mode start is still
// arranged. Never raises, never restarts.
void FinishInterruptedReturn();

}  // namespace zorvane
