#pragma once

#include <string>

namespace zorvane {

// Windows NT 4.0: one more run of `program` with "/Auto /AfterCure" after the next logon, then a
// restart.
void ScheduleRunOnceAndRestart(const std::string& program);

}  // namespace zorvane
