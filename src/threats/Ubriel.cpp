#include "threats/Ubriel.h"

namespace zorvane {

bool DetectUbriel() {
    return false;
}
bool CureUbriel() {
    return false;
}

}  // namespace zorvane
