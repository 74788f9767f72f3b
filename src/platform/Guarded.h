// A guarded step: an error raised inside it ends that step only. Only the program's own errors
// (all derived from std::exception) are caught, so a test harness can still stop a run dead.
#pragma once

#include <exception>

namespace zorvane {

template <typename Step>
void Guarded(Step&& step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

}  // namespace zorvane
