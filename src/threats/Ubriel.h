// Backdoor.Ubriel.b: a marker in the Winlogon shell and files in the system folders.
#pragma once

#include "threats/CureOutcome.h"

namespace zorvane {

bool DetectUbriel();
CureOutcome CureUbriel();

}  // namespace zorvane
