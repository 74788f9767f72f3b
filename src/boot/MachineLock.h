// One run at a time may change the machine: two cures scheduled or undone together would undo
// each other's files halfway and leave a Safe Mode start that finds nothing to run.
#pragma once

#include "platform/Handles.h"

namespace zorvane {

class MachineLock {
  public:
    enum Outcome { Taken, Held, Refused };
    // Held: another run has it. Refused: this account may not change the machine (the cure's
    // keys under HKLM\SYSTEM refuse it writing). Taken: held until this object goes, or the
    // process ends in any way (the system closes the file and deletes it).
    Outcome Take();

  private:
    FileHandle file_;
};

}  // namespace zorvane
