#pragma once

namespace zorvane {

// Windows NT 4.0: one more run with "/Auto" after the next logon, then a restart.
void ScheduleRunOnceAndRestart();

}  // namespace zorvane
