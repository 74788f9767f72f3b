#include "boot/BootFiles.h"

#include "platform/HostFacts.h"
#include "platform/WindowsApi.h"

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
    return Windows().MoveFileExA(BootIniBackupPath().c_str(), BootIniPath().c_str(),
                                 MovefileReplaceExisting | MovefileCopyAllowed) != 0;
}

}  // namespace zorvane
