// The files that carry a Safe Mode cure from one run to the next. The command file and the copy
// of the program are in the root of the system drive (the letter is read each time a path is
// built); boot.ini, its backup and the scratch file are in the root of the drive the loader
// reads boot.ini from.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/WindowsTypes.h"

namespace zorvane {

std::string CommandFilePath();  // the Safe Mode shell: one line that starts the program
// The copy that the restart starts when the program's own path would not survive it. Not a name
// a user is likely to give a file of his own: it is overwritten without asking and deleted when
// the cure is over.
std::string RestartCopyPath();

class BootIniFiles {
  public:
    explicit BootIniFiles(char drive) : drive_(drive) {}
    std::string BootIni() const;  // the boot configuration
    std::string Backup() const;   // boot.ini as it was before the first scheduling
    // Where a new boot.ini (or the backup) is written whole before it is moved into place, so
    // that no failure and no power loss ever leaves boot.ini missing or cut short.
    std::string NewBootIni() const;

  private:
    char drive_;
};

// The loader reads boot.ini from the root of the system partition: drive C: on nearly every
// machine, also when Windows itself is on another drive. So the system drive is looked at
// first, then C:. With `orBackup`, a drive that holds only the backup counts too. Empty when
// neither drive has the file.
std::optional<BootIniFiles> FindBootIniFiles(bool orBackup);

// Writes the lines under the scratch name and has them on the disk before anything is renamed
// (a power loss right after a rename must not leave an empty or short boot.ini). Answers 0, or
// the I/O error code when the file cannot be created; a failed write raises.
int WriteNewBootIni(const BootIniFiles& files, const std::vector<std::string>& lines);

// Puts the saved boot.ini back in place of the current one; answers 0 or the move's error code.
DWORD MoveBackupOverBootIni(const BootIniFiles& files);

}  // namespace zorvane
