// The files that carry a Safe Mode cure from one run to the next. The command file and the copy
// of the program are in the root of the system drive (the letter is read each time a path is
// built); boot.ini, its backup and the scratch file are in the root of the drive the loader
// reads boot.ini from.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/WindowsTypes.h"

namespace zorvane {

std::string CommandFilePath();  // the Safe Mode shell: one line that starts the program
// Whether a Safe Mode shell names a command file of the program: Zorvane.cmd in the root of any
// drive, in any letter case. A run whose "SystemDrive" differs from the scheduling's still
// recognises it.
bool IsProgramCommandFile(std::string_view path);
// The copy that the restart starts when the program's own path would not survive it. Not a name
// a user is likely to give a file of his own: it is overwritten without asking and deleted when
// the cure is over.
std::string RestartCopyPath();

class BootIniFiles {
  public:
    explicit BootIniFiles(char drive, std::optional<DWORD> attributes = std::nullopt)
        : drive_(drive), attributes_(attributes) {}
    std::string BootIni() const;  // the boot configuration
    std::string Backup() const;   // boot.ini as it was before the first scheduling
    // Where a new boot.ini (or the backup) is written whole before it is moved into place, so
    // that no failure and no power loss ever leaves boot.ini missing or cut short.
    std::string NewBootIni() const;
    // boot.ini's attributes when it was found; none when only its backup was.
    std::optional<DWORD> Attributes() const { return attributes_; }

  private:
    char drive_;
    std::optional<DWORD> attributes_;
};

// What a new boot.ini or backup gets of the attributes found: read-only, hidden, system and
// archive (the loader's file usually has the first three); normal when none of them.
DWORD BootIniAttributes(DWORD found);

// The loader reads boot.ini from the root of the system partition, which HKLM\SYSTEM\Setup
// "SystemPartition" names by its device (\Device\HarddiskVolume1): that drive alone is looked
// at, also when Windows is on another drive that has a boot.ini of its own (copied, or left from
// an older Windows), which the loader never reads. Where the value is missing or no drive letter
// stands for that device, the system drive is looked at first, then C:. With `orBackup`, a drive
// that holds only the backup counts too. Empty when no drive looked at has the file.
std::optional<BootIniFiles> FindBootIniFiles(bool orBackup);

// Writes the lines under the scratch name and has them on the disk before anything is renamed
// (a power loss right after a rename must not leave an empty or short boot.ini). Answers 0, or
// the I/O error code when the file cannot be created; a failed write raises.
int WriteNewBootIni(const BootIniFiles& files, const std::vector<std::string>& lines);

// Puts the saved boot.ini back in place of the current one; answers 0 or the move's error code.
DWORD MoveBackupOverBootIni(const BootIniFiles& files);

}  // namespace zorvane
