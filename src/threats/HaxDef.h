// Backdoor.HacDef.073.b: a hiding driver file on drive C: and its service keys.
#pragma once

#include <string_view>

#include "threats/CureOutcome.h"

namespace zorvane {

// The detection's answer. A drive C: that takes no new file leaves the question open: that is
// neither a clean machine nor an infected one, and `whyNotChecked` tells the user why.
struct HacDefFinding {
    enum Answer { NotFound, Found, NotChecked } answer = NotChecked;
    std::string_view whyNotChecked = "the check failed";
};

HacDefFinding DetectHacDef();
CureOutcome CureHacDef();

}  // namespace zorvane
