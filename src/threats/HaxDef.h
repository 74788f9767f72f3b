// Backdoor.HacDef.073.b: a hiding driver file on drive C: and its service keys.
#pragma once

#include "threats/CureOutcome.h"

namespace zorvane {

bool DetectHacDef();
CureOutcome CureHacDef();

}  // namespace zorvane
