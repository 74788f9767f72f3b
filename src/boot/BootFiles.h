// The files that carry a Safe Mode cure from one run to the next, all in the root of the system
// drive (the letter is read each time a path is built).
#pragma once

#include <string>

namespace zorvane {

std::string CommandFilePath();    // the Safe Mode shell: one line that starts the program
std::string BootIniPath();        // the boot configuration
std::string BootIniBackupPath();  // boot.ini as it was before the first scheduling

// Puts the saved boot.ini back in place of the current one (result not examined).
void MoveBackupOverBootIni();

}  // namespace zorvane
