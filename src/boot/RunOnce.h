#pragma once

#include <string>

namespace zorvane {

// Windows NT 4.0: one more run of `program` with "/Auto /AfterCure" after the next logon, then a
// restart. `copyMade`: `program` is the copy made for that run, removed again when the entry
// cannot be written (nothing would ever start or remove it).
void ScheduleRunOnceAndRestart(const std::string& program, bool copyMade);

}  // namespace zorvane
