#include "boot/BootFiles.h"

#include "boot/MachineKey.h"
#include "boot/TextLines.h"
#include "platform/AsciiText.h"
#include "platform/FileOps.h"
#include "platform/HostFacts.h"
#include "platform/IoError.h"
#include "platform/TextLineFile.h"
#include "platform/WindowsApi.h"

namespace zorvane {

namespace {

std::string OnDrive(char drive, const char* suffix) {
    return std::string(1, drive) + suffix;
}

// The drive whose device is the system partition; 0 when the value is missing or no drive letter
// stands for that device (a SUBST drive stands for a folder, "\??\C:\...", never for it).
char SystemPartitionDrive() {
    const std::string partition = AsciiUpper(SystemPartitionDevice());
    if (partition.empty()) return 0;
    // C: first: the system partition on nearly every machine.
    for (const char drive : std::string_view("CDEFGHIJKLMNOPQRSTUVWXYZAB")) {
        const char name[] = {drive, ':', 0};
        char device[MaxPath + 1] = {};  // a zero stays at the end whatever comes back
        // Only the first name counts: it is the one the drive letter stands for now.
        if (Windows().QueryDosDeviceA(name, device, MaxPath) > 0 && AsciiUpper(device) == partition)
            return drive;
    }
    return 0;
}

}  // namespace

std::string CommandFilePath() {
    return DriveRootedPath(":\\Zorvane.cmd");
}

bool IsProgramCommandFile(std::string_view path) {
    const std::string upper = AsciiUpper(path);
    return upper.size() == 14 && upper[0] >= 'A' && upper[0] <= 'Z' &&
           upper.ends_with(":\\ZORVANE.CMD");
}

std::string RestartCopyPath() {
    return DriveRootedPath(":\\ZRVCURE.EXE");
}

std::string BootIniFiles::BootIni() const {
    return OnDrive(drive_, ":\\boot.ini");
}

std::string BootIniFiles::Backup() const {
    return OnDrive(drive_, ":\\boot.ini.ZRVBACKUP");
}

std::string BootIniFiles::NewBootIni() const {
    return OnDrive(drive_, ":\\boot.ini.ZRVNEW");
}

std::optional<BootIniFiles> FindBootIniFiles(bool orBackup) {
    char drives[] = {SystemPartitionDrive(), 0, 0};
    if (drives[0] == 0) {
        drives[0] = SystemDriveLetter();
        // One look is enough when they are one (a letter in either case).
        if ((drives[0] | 0x20) != 'c') drives[1] = 'C';
    }
    for (const char* drive = drives; *drive != 0; ++drive) {
        const BootIniFiles named(*drive);
        if (const std::optional<DWORD> attributes = ListedAttributes(named.BootIni()))
            return BootIniFiles(*drive, attributes);
        if (orBackup && FileListed(named.Backup())) return named;
    }
    return std::nullopt;
}

DWORD BootIniAttributes(DWORD found) {
    const DWORD kept = found & (FileAttributeReadOnly | FileAttributeHidden | FileAttributeSystem |
                                FileAttributeArchive);
    return kept != 0 ? kept : FileAttributeNormal;
}

DWORD MoveBackupOverBootIni(const BootIniFiles& files) {
    return MoveReplacingDurably(files.Backup(), files.BootIni());
}

int WriteNewBootIni(const BootIniFiles& files, const std::vector<std::string>& lines) {
    TextLineFile file(files.NewBootIni());
    file.OpenForWriting();
    if (const int code = TakeIoError()) return code;
    for (const std::string& line : lines) WriteCheckedLine(file, line);
    file.FlushToDisk();
    CheckIoError();
    CheckedClose(file);
    return 0;
}

}  // namespace zorvane
