#pragma once

namespace zorvane {

// Windows NT 4.0: one more run with "/Auto /AfterCure" after the next logon, then a restart.
void ScheduleRunOnceAndRestart();

}  // namespace zorvane
