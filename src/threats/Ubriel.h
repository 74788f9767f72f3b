// Backdoor.Ubriel.b: a marker in the Winlogon shell and files in the system folders.
#pragma once

namespace zorvane {

bool DetectUbriel();
bool CureUbriel();

}  // namespace zorvane
