#pragma once

namespace zorvane {

// Undo the Safe Mode arrangements, then restart. Registry errors pass to the caller.
void RestoreNormalBoot();

}  // namespace zorvane
