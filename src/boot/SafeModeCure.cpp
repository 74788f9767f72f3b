#include "boot/SafeModeCure.h"

#include <exception>
#include <string>

#include "boot/BootFiles.h"
#include "boot/BootIniRewrite.h"
#include "boot/MachineKey.h"
#include "boot/OwnCommand.h"
#include "boot/Restart.h"
#include "boot/TextLines.h"
#include "platform/FileOps.h"
#include "platform/IoError.h"
#include "platform/Registry.h"
#include "platform/TextLineFile.h"
#include "platform/WindowsApi.h"

namespace zorvane {
namespace {

constexpr std::string_view AlternateShell = "AlternateShell";
constexpr std::string_view DefaultShell = "cmd.exe";

// False when the file cannot be created; a failed write or close raises.
bool WriteCommandFile() {
    TextLineFile file(CommandFilePath());
    file.OpenForWriting();
    if (TakeIoError() != 0) return false;
    WriteCheckedLine(file, OwnCommand(" /SAFEMODE /AUTO"));
    CheckedClose(file);
    return true;
}

// Answers whether boot.ini was moved to the backup now. An existing backup is never replaced:
// it holds the boot.ini of before the first scheduling, and every rewrite starts from it.
bool BackUpBootIni() {
    if (!FileListed(BootIniPath())) return false;
    // A hidden, system or read-only boot.ini would refuse the move and, later, the rewrite.
    Windows().SetFileAttributesA(BootIniPath().c_str(), FileAttributeNormal);
    if (FileListed(BootIniBackupPath())) return false;
    Windows().MoveFileExA(BootIniPath().c_str(), BootIniBackupPath().c_str(),
                          MovefileReplaceExisting | MovefileCopyAllowed);
    return true;
}

void CopyWithSafeModeSwitch(TextLineFile& backup, TextLineFile& bootIni) {
    // One line is always copied, even from an empty backup.
    SafeModeSwitchRewrite rewrite;
    do {
        WriteCheckedLine(bootIni, rewrite.Next(ReadCheckedLine(backup)));
    } while (!CheckedAtEnd(backup));
}

// Rebuilds boot.ini from the backup. False when either file cannot be opened (nothing written).
// A failed copy or close raises; `bootIniComplete` then tells whether boot.ini had been closed
// whole. Both files are let go before anything leaves, so the backup can be moved at once.
bool RewriteBootIni(bool& bootIniComplete) {
    TextLineFile backup(BootIniBackupPath());
    backup.OpenForReading();
    if (TakeIoError() != 0) return false;
    TextLineFile bootIni(BootIniPath());
    bootIni.OpenForWriting();
    if (TakeIoError() != 0) return false;
    CopyWithSafeModeSwitch(backup, bootIni);
    CheckedClose(bootIni);
    bootIniComplete = true;
    CheckedClose(backup);
    return true;
}

void ForceAutomaticLogon() {
    TRegistry winlogon;
    winlogon.SelectRoot(HkeyLocalMachine());
    if (!winlogon.OpenCurrentKey(WinlogonKey, true)) return;
    const std::string old =
        winlogon.HasValue("AutoAdminLogon") ? winlogon.GetString("AutoAdminLogon") : "0";
    winlogon.PutString("OLDAutoAdminLogon", old);
    winlogon.PutString("AutoAdminLogon", "1");
}

}  // namespace

void ScheduleSafeModeCure() {
    {
        TRegistry safeBoot;
        OpenOrMakeMachineKey(safeBoot, SafeBootKey);
        safeBoot.PutString(AlternateShell, CommandFilePath());
        if (!WriteCommandFile()) {
            safeBoot.PutString(AlternateShell, DefaultShell);
            return;
        }
        const bool movedNow = BackUpBootIni();
        bool bootIniComplete = false;
        bool rewritten = false;
        try {
            rewritten = RewriteBootIni(bootIniComplete);
        } catch (const std::exception&) {
            // A half-written boot.ini leaves the machine unable to start.
            if (!bootIniComplete) MoveBackupOverBootIni();
            throw;
        }
        if (!rewritten) {
            // boot.ini may exist only as the backup now; without it the machine cannot start.
            if (movedNow) MoveBackupOverBootIni();
            RemoveFile(CommandFilePath());
            safeBoot.PutString(AlternateShell, DefaultShell);
            return;
        }
        Windows().SetFileAttributesA(BootIniPath().c_str(), FileAttributeHidden);
    }
    ForceAutomaticLogon();
    RestartSystem();
}

}  // namespace zorvane
