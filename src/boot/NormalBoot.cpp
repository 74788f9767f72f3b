#include "boot/NormalBoot.h"

#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "boot/BootFiles.h"
#include "boot/BootIniRewrite.h"
#include "boot/MachineKey.h"
#include "boot/Restart.h"
#include "boot/RestartProgram.h"
#include "boot/TextLines.h"
#include "platform/AsciiText.h"
#include "platform/Exceptions.h"
#include "platform/FileOps.h"
#include "platform/Guarded.h"
#include "platform/IoError.h"
#include "platform/Registry.h"
#include "platform/RunLog.h"
#include "platform/TextLineFile.h"
#include "platform/WindowsApi.h"

namespace zorvane {
namespace {

// The lines of boot.ini without the Safe Mode switch; `changed` tells whether any line had it.
std::vector<std::string> LinesWithoutSwitch(const BootIniFiles& files, bool& changed) {
    TextLineFile bootIni(files.BootIni());
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

// Without a backup there is nothing to put back, but a boot.ini that still carries the switch
// would start minimal Safe Mode with cmd.exe as the shell at every boot from now on. The result
// is written beside boot.ini and then moved over it, so that a failure leaves boot.ini whole; a
// failure raises like any other text-file error of this operation. The new boot.ini gets
// `attributes`.
void RemoveSwitchFromBootIni(const BootIniFiles& files, DWORD attributes) {
    bool changed = false;
    const std::vector<std::string> lines = LinesWithoutSwitch(files, changed);
    Log({"No backup to put back: ",
         changed ? "the Safe Mode switch is taken out of " : "no Safe Mode switch in ",
         files.BootIni()});
    if (!changed) return;
    try {
        if (const int code = WriteNewBootIni(files, lines))
            throw EInOutError(code, IoErrorMessage(code));
    } catch (const std::exception&) {
        RemoveFile(files.NewBootIni());
        throw;
    }
    // A read-only boot.ini would refuse to be replaced.
    Windows().SetFileAttributesA(files.BootIni().c_str(), FileAttributeNormal);
    if (const DWORD code = MoveReplacingDurably(files.NewBootIni(), files.BootIni())) {
        RemoveFile(files.NewBootIni());
        throw EInOutError(static_cast<int>(code), IoErrorMessage(static_cast<int>(code)));
    }
    Windows().SetFileAttributesA(files.BootIni().c_str(), BootIniAttributes(attributes));
}

// The command files that the shell named, and the one of this run's system drive: a run started
// with another "SystemDrive" than the scheduling's must not leave that one behind.
void RemoveCommandFiles(std::vector<std::string> named, bool onlyListed) {
    named.push_back(CommandFilePath());
    for (std::size_t i = 0; i < named.size(); ++i) {
        bool seen = false;
        for (std::size_t j = 0; j < i; ++j)
            seen = seen || AsciiUpper(named[j]) == AsciiUpper(named[i]);
        if (!seen && (!onlyListed || FileListed(named[i]))) RemoveFile(named[i]);
    }
}

void RestoreAutomaticLogon() {
    TRegistry winlogon;
    winlogon.SelectRoot(HkeyLocalMachine());
    // Not created: a machine without the key had no automatic logon to put back. Looked at for
    // reading first: a scan of an account that may not change it has nothing to do there.
    if (!winlogon.OpenCurrentKeyReadOnly(WinlogonKey)) return;
    // Without a saved value no scheduling forced the logon ("/SAFEMODE" typed by hand): the
    // user's own setting stays.
    if (!winlogon.HasValue("OLDAutoAdminLogon") || !winlogon.OpenCurrentKey(WinlogonKey, false))
        return;
    winlogon.PutString("AutoAdminLogon", winlogon.GetText("OLDAutoAdminLogon"));
    // Put back, the saved value has served: left in place, a "/SAFEMODE" typed by hand months
    // later would set automatic logon back to what it was before this cure.
    winlogon.DeleteValue("OLDAutoAdminLogon");
}

// Whether boot.ini still starts Safe Mode, or its backup waits to be put back; also when boot.ini
// cannot be read, so that nothing is taken from a cure that may still be under way.
bool SafeModeStartArranged() {
    const std::optional<BootIniFiles> files = FindBootIniFiles(true);
    if (!files) return false;
    // Found by its backup alone, or with the backup beside it: the backup waits to be put back.
    if (!files->Attributes() || FileListed(files->Backup())) return true;
    bool switched = false, read = false;
    Guarded([&] {
        LinesWithoutSwitch(*files, switched);
        read = true;
    });
    return switched || !read;
}

}  // namespace

void FinishInterruptedReturn() {
    if (SafeModeStartArranged()) return;
    Guarded(RestoreAutomaticLogon);
    RemoveCommandFiles(PutBackAlternateShell(true), true);
    RemoveRestartCopy();
}

void RestoreNormalBoot() {
    // The shell of before the scheduling and no command file are right only once boot.ini starts
    // Windows normally: with the switch still there, every start would be minimal Safe Mode at a
    // command prompt. So when the backup cannot be moved back, the switch is taken out of boot.ini
    // instead, and when that fails too the error ends the run before anything else is undone:
    // the next start runs the cure again. The backup carries boot.ini's attributes of before the
    // scheduling, and a moved file keeps its own.
    const std::optional<BootIniFiles> files = FindBootIniFiles(true);
    if (files) {
        // Where the search found the backup alone, it has seen it already.
        const std::optional<DWORD> backup =
            files->Attributes() ? ListedAttributes(files->Backup()) : FileAttributeNormal;
        const bool restored = backup && MoveBackupOverBootIni(*files) == error::Success;
        if (!restored && files->Attributes()) {
            // A backup still there (also when the first search missed it) gives its attributes.
            const std::optional<DWORD> left = backup ? backup : ListedAttributes(files->Backup());
            RemoveSwitchFromBootIni(*files, left.value_or(*files->Attributes()));
            // boot.ini starts Windows normally now; a backup left behind would be taken by a
            // later scheduling for the boot.ini of before it, and moved over a boot.ini the user
            // has changed since.
            if (left) {
                ClearAttributesAndRemove(files->Backup());
                // One that stays (another program holds it) still carries boot.ini's attributes
                // for the return that will take it.
                if (FileListed(files->Backup()))
                    Windows().SetFileAttributesA(files->Backup().c_str(), *left);
            }
        }
    }
    // Every control set the Safe Mode start may have read the shell from gets back the one of
    // before the scheduling.
    RemoveCommandFiles(PutBackAlternateShell(false), false);
    RemoveRestartCopy();  // nothing names it any more
    RestoreAutomaticLogon();
    RestartSystem();
}

}  // namespace zorvane
