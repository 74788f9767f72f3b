// Backdoor.HacDef.073.b: a hiding driver file on drive C: and its service keys.
#pragma once

namespace zorvane {

bool DetectHacDef();
bool CureHacDef();

}  // namespace zorvane
