// Placeholders until boot control lands.
#include "boot/NormalBoot.h"
#include "boot/Restart.h"
#include "boot/RunOnce.h"
#include "boot/SafeModeCure.h"

namespace zorvane {

bool SetTokenPrivilege(std::string_view, bool) {
    return false;
}
void RestartSystem() {}
void FallbackRestart() {}
void ScheduleRunOnceAndRestart() {}
void ScheduleSafeModeCure() {}
void RestoreNormalBoot() {}

}  // namespace zorvane
