#include "boot/BootFiles.h"

#include "boot/TextLines.h"
#include "platform/FileOps.h"
#include "platform/HostFacts.h"
#include "platform/IoError.h"
#include "platform/TextLineFile.h"

namespace zorvane {

namespace {

std::string OnDrive(char drive, const char* suffix) {
    return std::string(1, drive) + suffix;
}

}  // namespace

std::string CommandFilePath() {
    return DriveRootedPath(":\\Zorvane.cmd");
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
    for (const char drive : {SystemDriveLetter(), 'C'}) {
        const BootIniFiles files(drive);
        if (FileListed(files.BootIni()) || (orBackup && FileListed(files.Backup()))) return files;
    }
    return std::nullopt;
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
