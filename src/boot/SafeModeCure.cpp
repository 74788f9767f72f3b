#include "boot/SafeModeCure.h"

#include <exception>
#include <string>

#include "boot/BootFiles.h"
#include "boot/BootIniRewrite.h"
#include "boot/MachineKey.h"
#include "boot/OwnCommand.h"
#include "boot/Restart.h"
#include "boot/TextLines.h"
#include "frontend/CommandLine.h"
#include "platform/FileOps.h"
#include "platform/IoError.h"
#include "platform/Registry.h"
#include "platform/TextLineFile.h"
#include "platform/WindowsApi.h"

namespace zorvane {
namespace {

constexpr std::string_view AlternateShell = "AlternateShell";
constexpr std::string_view DefaultShell = "cmd.exe";

// False when the file cannot be created; a failed write or close raises. Without the program's
// own path the file could not start the program, and every Safe Mode start would be left without
// a shell: that counts as a file that cannot be created.
bool WriteCommandFile() {
    if (ArgumentAt(0).empty()) return false;
    TextLineFile file(CommandFilePath());
    file.OpenForWriting();
    if (TakeIoError() != 0) return false;
    WriteCheckedLine(file, OwnCommand(" /SAFEMODE /AUTO"));
    CheckedClose(file);
    return true;
}

// Answers whether a backup was there already: an earlier scheduling is still in force. An
// existing backup is never replaced: it holds the boot.ini of before the first scheduling, and
// every rewrite starts from it. boot.ini itself stays in place, whole, at every moment (a power
// loss must leave a machine that starts), so the backup is a copy, written under the scratch name
// and then renamed: a backup that is there is whole.
bool BackUpBootIni() {
    const bool listed = FileListed(BootIniPath());
    // A hidden, system or read-only boot.ini would refuse to be replaced later.
    if (listed) Windows().SetFileAttributesA(BootIniPath().c_str(), FileAttributeNormal);
    if (FileListed(BootIniBackupPath())) return true;
    if (listed && CopyWholeFile(BootIniPath(), NewBootIniPath())) {
        // A new file is marked for archiving; the backup has normal attributes, as a moved
        // boot.ini would after the reset above.
        Windows().SetFileAttributesA(NewBootIniPath().c_str(), FileAttributeNormal);
        MoveReplacing(NewBootIniPath(), BootIniBackupPath());
    }
    return false;
}

void CopyWithSafeModeSwitch(TextLineFile& backup, TextLineFile& bootIni) {
    // One line is always copied, even from an empty backup.
    SafeModeSwitchRewrite rewrite;
    do {
        WriteCheckedLine(bootIni, rewrite.Next(ReadCheckedLine(backup)));
    } while (!CheckedAtEnd(backup));
}

// Writes the Safe Mode copy of the backup under the scratch name. False when either file cannot
// be opened; a failed copy or close raises. Both files are let go before anything leaves.
bool WriteSafeModeCopy() {
    TextLineFile backup(BootIniBackupPath());
    backup.OpenForReading();
    if (TakeIoError() != 0) return false;
    TextLineFile bootIni(NewBootIniPath());
    bootIni.OpenForWriting();
    if (TakeIoError() != 0) return false;
    CopyWithSafeModeSwitch(backup, bootIni);
    CheckedClose(bootIni);
    CheckedClose(backup);
    return true;
}

// "OLDAutoAdminLogon" keeps the value of before the cure. While an earlier scheduling is still
// in force, "AutoAdminLogon" holds the "1" that it wrote: saving that again would leave automatic
// logon on for good once the cure is over, so the value saved then stays.
void ForceAutomaticLogon(bool earlierScheduling) {
    TRegistry winlogon;
    winlogon.SelectRoot(HkeyLocalMachine());
    if (!winlogon.OpenCurrentKey(WinlogonKey, true)) return;
    // Read as text whatever its type (some tools store a REG_DWORD 1): a raised error here
    // would stop the scheduling half-done, boot.ini already switched and no restart.
    const std::string old =
        winlogon.HasValue("AutoAdminLogon") ? winlogon.GetText("AutoAdminLogon") : "0";
    if (!(earlierScheduling && old == "1" && winlogon.HasValue("OLDAutoAdminLogon")))
        winlogon.PutString("OLDAutoAdminLogon", old);
    winlogon.PutString("AutoAdminLogon", "1");
}

}  // namespace

void ScheduleSafeModeCure() {
    bool earlierScheduling = false;
    {
        TRegistry safeBoot;
        OpenOrMakeMachineKey(safeBoot, SafeBootKey);
        safeBoot.PutString(AlternateShell, CommandFilePath());
        if (!WriteCommandFile()) {
            safeBoot.PutString(AlternateShell, DefaultShell);
            return;
        }
        earlierScheduling = BackUpBootIni();
        bool rewritten = false;
        try {
            rewritten = WriteSafeModeCopy() && MoveReplacing(NewBootIniPath(), BootIniPath());
        } catch (const std::exception&) {
            RemoveFile(NewBootIniPath());  // boot.ini itself was never touched
            throw;
        }
        if (!rewritten) {
            RemoveFile(NewBootIniPath());
            RemoveFile(CommandFilePath());
            safeBoot.PutString(AlternateShell, DefaultShell);
            return;
        }
        Windows().SetFileAttributesA(BootIniPath().c_str(), FileAttributeHidden);
    }
    ForceAutomaticLogon(earlierScheduling);
    RestartSystem();
}

}  // namespace zorvane
