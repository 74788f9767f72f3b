#include "threats/HaxDef.h"

namespace zorvane {

bool DetectHacDef() {
    return false;
}
bool CureHacDef() {
    return false;
}

}  // namespace zorvane
