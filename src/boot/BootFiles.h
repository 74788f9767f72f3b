// The files that carry a Safe Mode cure from one run to the next, all in the root of the system
// drive (the letter is read each time a path is built).
#pragma once

#include <string>

namespace zorvane {

std::string CommandFilePath();    // the Safe Mode shell: one line that starts the program
std::string BootIniPath();        // the boot configuration
std::string BootIniBackupPath();  // boot.ini as it was before the first scheduling
// Where a new boot.ini (or the backup) is written whole before it is moved into place, so that
// no failure and no power loss ever leaves boot.ini missing or cut short.
std::string NewBootIniPath();

// Puts the saved boot.ini back in place of the current one; answers whether the move was made.
bool MoveBackupOverBootIni();

}  // namespace zorvane
