#include "boot/NormalBoot.h"

#include <exception>
#include <string>
#include <vector>

#include "boot/BootFiles.h"
#include "boot/BootIniRewrite.h"
#include "boot/MachineKey.h"
#include "boot/Restart.h"
#include "boot/TextLines.h"
#include "platform/Exceptions.h"
#include "platform/FileOps.h"
#include "platform/IoError.h"
#include "platform/Registry.h"
#include "platform/TextLineFile.h"
#include "platform/WindowsApi.h"

namespace zorvane {
namespace {

// The lines of boot.ini without the Safe Mode switch; `changed` tells whether any line had it.
std::vector<std::string> LinesWithoutSwitch(bool& changed) {
    TextLineFile bootIni(BootIniPath());
    bootIni.OpenForReading();
    CheckIoError();
    std::vector<std::string> lines;
    while (!CheckedAtEnd(bootIni)) {
        const std::string line = ReadCheckedLine(bootIni);
        lines.push_back(WithoutSafeModeSwitch(line));
        if (lines.back() != line) changed = true;
    }
    CheckedClose(bootIni);
    return lines;
}

void WriteNewBootIni(const std::vector<std::string>& lines) {
    TextLineFile file(NewBootIniPath());
    file.OpenForWriting();
    CheckIoError();
    for (const std::string& line : lines) WriteCheckedLine(file, line);
    CheckedClose(file);
}

// Without a backup there is nothing to put back, but a boot.ini that still carries the switch
// would start minimal Safe Mode with cmd.exe as the shell at every boot from now on. The result
// is written beside boot.ini and then moved over it, so that a failure leaves boot.ini whole; a
// failure raises like any other text-file error of this operation.
void RemoveSwitchFromBootIni() {
    bool changed = false;
    const std::vector<std::string> lines = LinesWithoutSwitch(changed);
    if (!changed) return;
    try {
        WriteNewBootIni(lines);
    } catch (const std::exception&) {
        RemoveFile(NewBootIniPath());
        throw;
    }
    // A read-only boot.ini would refuse to be replaced.
    Windows().SetFileAttributesA(BootIniPath().c_str(), FileAttributeNormal);
    if (!MoveReplacing(NewBootIniPath(), BootIniPath())) {
        const int code = static_cast<int>(Windows().GetLastError());
        RemoveFile(NewBootIniPath());
        throw EInOutError(code, IoErrorMessage(code));
    }
}

void RestoreAutomaticLogon() {
    TRegistry winlogon;
    winlogon.SelectRoot(HkeyLocalMachine());
    // Not created: a machine without the key had no automatic logon to put back.
    if (!winlogon.OpenCurrentKey(WinlogonKey, false)) return;
    // Without a saved value no scheduling forced the logon ("/SAFEMODE" typed by hand): the
    // user's own setting stays.
    if (!winlogon.HasValue("OLDAutoAdminLogon")) return;
    winlogon.PutString("AutoAdminLogon", winlogon.GetText("OLDAutoAdminLogon"));
}

}  // namespace

void RestoreNormalBoot() {
    // cmd.exe as the alternate shell and no command file are right only once boot.ini starts
    // Windows normally: with the switch still there, every start would be minimal Safe Mode at a
    // command prompt. So when the backup cannot be moved back, the switch is taken out of boot.ini
    // instead, and when that fails too the error ends the run before anything else is undone:
    // the next start runs the cure again.
    const bool restored = FileListed(BootIniBackupPath()) && MoveBackupOverBootIni();
    if (!restored && FileListed(BootIniPath())) RemoveSwitchFromBootIni();
    {
        TRegistry safeBoot;
        OpenOrMakeMachineKey(safeBoot, SafeBootKey);
        // The shell of before the scheduling is not known; cmd.exe is Windows' own default.
        safeBoot.PutString("AlternateShell", "cmd.exe");
    }
    RemoveFile(CommandFilePath());
    Windows().SetFileAttributesA(BootIniPath().c_str(), FileAttributeHidden);
    RestoreAutomaticLogon();
    RestartSystem();
}

}  // namespace zorvane
