// What a threat's cure achieved, judged by looking again after it.
#pragma once

namespace zorvane {

enum class CureOutcome {
    NotFound,    // the cure saw nothing to remove and changed nothing
    Removed,     // no longer detected, or what is left goes at the next restart
    NotRemoved,  // still there after every step
};

}  // namespace zorvane
