#include "boot/BootFiles.h"

#include "platform/FileOps.h"
#include "platform/HostFacts.h"

namespace zorvane {

std::string CommandFilePath() {
    return DriveRootedPath(":\\Zorvane.cmd");
}

std::string BootIniPath() {
    return DriveRootedPath(":\\boot.ini");
}

std::string BootIniBackupPath() {
    return DriveRootedPath(":\\boot.ini.ZRVBACKUP");
}

std::string NewBootIniPath() {
    return DriveRootedPath(":\\boot.ini.ZRVNEW");
}

bool MoveBackupOverBootIni() {
    return MoveReplacing(BootIniBackupPath(), BootIniPath());
}

}  // namespace zorvane
