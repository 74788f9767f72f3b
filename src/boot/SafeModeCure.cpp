#include "boot/SafeModeCure.h"

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
#include "platform/FileOps.h"
#include "platform/Guarded.h"
#include "platform/HostFacts.h"
#include "platform/IoError.h"
#include "platform/Registry.h"
#include "platform/RunLog.h"
#include "platform/TextLineFile.h"
#include "platform/WindowsApi.h"

namespace zorvane {
namespace {

// False when the file cannot be created; a failed write or close raises.
bool WriteCommandFile(const std::string& program) {
    TextLineFile file(CommandFilePath());
    file.OpenForWriting();
    if (TakeIoError() != 0) return false;
    const std::string command = CommandFor(program, " /SAFEMODE /AUTO");
    WriteCheckedLine(file, command);
    // On the disk before boot.ini is switched: after a power loss the Safe Mode start must not
    // find an empty command file.
    file.FlushToDisk();
    CheckIoError();
    CheckedClose(file);
    Log({"Command file ", CommandFilePath(), " written: ", command});
    return true;
}

// What this run has changed so far, and how to take it back. Each step is guarded by itself, so
// that one that fails does not keep the next from being undone.
struct Changes {
    const BootIniFiles* files = nullptr;
    // A scheduling still in force (its backup is there) keeps boot.ini switched: its shell, its
    // command file and the copy it may run must stay, or its Safe Mode start would find no
    // program and come back at every start.
    bool earlierScheduling = false;
    bool copyMade = false;
    bool shellSet = false;
    bool commandFileWritten = false;
    bool backupMade = false;
    bool bootIniAttributesCleared = false;

    void RollBack() const {
        // A move over boot.ini that failed leaves it with its own attributes again.
        if (bootIniAttributesCleared && files->Attributes())
            Windows().SetFileAttributesA(files->BootIni().c_str(), *files->Attributes());
        // Both may carry boot.ini's read-only attribute.
        if (files != nullptr) Guarded([&] { ClearAttributesAndRemove(files->NewBootIni()); });
        // A backup left behind would be taken by a later scheduling for the boot.ini of before
        // the first one, and moved over a boot.ini the user has changed since.
        if (backupMade) Guarded([&] { ClearAttributesAndRemove(files->Backup()); });
        if (earlierScheduling) return;
        if (commandFileWritten) Guarded([] { RemoveFile(CommandFilePath()); });
        if (shellSet) PutBackAlternateShell(true);
        if (copyMade) Guarded(RemoveRestartCopy);
    }
};

// An existing backup is never replaced: it holds the boot.ini of before the first scheduling,
// and every rewrite starts from it. boot.ini itself stays in place, whole, at every moment (a
// power loss must leave a machine that starts), so the backup is a copy, written under the
// scratch name, on the disk, and then renamed: a backup that is there is whole. It carries
// boot.ini's attributes, which the return to normal boot puts back with it; so the scratch file
// a power loss may have left with them (read-only refuses to be rewritten) is cleared first.
void BackUpBootIni(const BootIniFiles& files, Changes& changes) {
    if (changes.earlierScheduling) return;
    Windows().SetFileAttributesA(files.NewBootIni().c_str(), FileAttributeNormal);
    // A backup without them is none.
    if (!CopyWholeFile(files.BootIni(), files.NewBootIni()) ||
        !Windows().SetFileAttributesA(files.NewBootIni().c_str(),
                                      BootIniAttributes(files.Attributes().value_or(0))))
        return;
    changes.backupMade = MoveReplacingDurably(files.NewBootIni(), files.Backup()) == 0;
}

// The lines of the backup; empty when it cannot be opened. A failed read raises.
std::optional<std::vector<std::string>> ReadBackup(const BootIniFiles& files) {
    TextLineFile backup(files.Backup());
    backup.OpenForReading();
    if (TakeIoError() != 0) return std::nullopt;
    std::vector<std::string> lines;
    // One line is always read, even from an empty backup.
    do {
        lines.push_back(ReadCheckedLine(backup));
    } while (!CheckedAtEnd(backup));
    CheckedClose(backup);
    return lines;
}

bool logonByHand = false;

// Automatic logon logs on "DefaultUserName" with the password stored beside it. Another account
// than the one running the cure (a kiosk's limited account) could neither cure nor put the
// normal start back: Safe Mode at every start. Only whether a password is stored is asked; its
// value is never read.
bool LogsOnAnotherAccount(TRegistry& winlogon) {
    if (!winlogon.HasValue("DefaultPassword")) return false;
    char user[257] = {};  // the longest account name and its zero
    DWORD size = sizeof user;
    return !Windows().GetUserNameA(user, &size) ||
           AsciiUpper(winlogon.GetText("DefaultUserName")) != AsciiUpper(user);
}

// The Safe Mode start logs on by itself, unless that would be another account: then automatic
// logon is off for it. "OLDAutoAdminLogon" keeps the value of before the cure. While an earlier
// scheduling is still in force, "AutoAdminLogon" holds the value that it wrote: saving that again
// would leave it so for good once the cure is over, so the value saved then stays.
void ForceAutomaticLogon(bool earlierScheduling) {
    TRegistry winlogon;
    winlogon.SelectRoot(HkeyLocalMachine());
    if (!winlogon.OpenCurrentKey(WinlogonKey, true)) return;
    // Read as text whatever its type (some tools store a REG_DWORD 1): a raised error here
    // would stop the scheduling half-done, boot.ini already switched and no restart.
    const std::string old =
        winlogon.HasValue("AutoAdminLogon") ? winlogon.GetText("AutoAdminLogon") : "0";
    logonByHand = LogsOnAnotherAccount(winlogon);
    const std::string_view forced = logonByHand ? "0" : "1";
    if (!(earlierScheduling && old == forced && winlogon.HasValue("OLDAutoAdminLogon")))
        winlogon.PutString("OLDAutoAdminLogon", old);
    winlogon.PutString("AutoAdminLogon", forced);
}

// Everything up to the new boot.ini in place; answers why not when it cannot be done. The
// alternate shell is pointed at the command file only once the new boot.ini is written, just
// before it is moved into place: a rollback before that point leaves the registry untouched,
// and no start ever finds the switch in boot.ini without the shell it needs.
std::string PrepareSafeModeStart(const BootIniFiles& files, Changes& changes) {
    const RestartProgram program = PrepareRestartProgram();
    if (program.path.empty()) return program.failure;
    changes.copyMade = program.copyMade;
    // Marked before the write: a file cut short by a failed write goes too.
    changes.commandFileWritten = true;
    if (!WriteCommandFile(program.path)) return "the command file could not be created";
    BackUpBootIni(files, changes);
    const std::optional<std::vector<std::string>> backup = ReadBackup(files);
    if (!backup) return "boot.ini could not be backed up";
    const std::string runningSystem = RunningSystemArcPath();
    const SafeModeBootIni safeMode = SafeModeStartOf(*backup, runningSystem);
    Log({"Entries of ", files.BootIni(), " given the Safe Mode switch: ",
         DecimalText(static_cast<unsigned long>(safeMode.switchedEntries)),
         runningSystem.empty() ? "" : "; the running system: ", runningSystem});
    if (safeMode.switchedEntries == 0)
        return "no entry of boot.ini could take the Safe Mode switch";
    if (WriteNewBootIni(files, safeMode.lines) != 0) return "boot.ini could not be rewritten";
    changes.shellSet = true;
    SetAlternateShell(CommandFilePath());
    // A read-only boot.ini would refuse to be replaced. Not earlier: a scheduling that rolls
    // back leaves boot.ini with the attributes it had.
    changes.bootIniAttributesCleared = true;
    Windows().SetFileAttributesA(files.BootIni().c_str(), FileAttributeNormal);
    if (const DWORD code = MoveReplacingDurably(files.NewBootIni(), files.BootIni()))
        return Join({"boot.ini could not be replaced (error ", DecimalText(code), ")"});
    return {};
}

}  // namespace

std::string ScheduleSafeModeCure() {
    logonByHand = false;
    const std::optional<BootIniFiles> files = FindBootIniFiles(false);
    if (!files) return "no boot.ini found";
    Changes changes;
    changes.files = &*files;
    changes.earlierScheduling = FileListed(files->Backup());
    std::string failure;
    try {
        failure = PrepareSafeModeStart(*files, changes);
    } catch (const std::exception&) {
        changes.RollBack();  // boot.ini itself was never touched
        throw;
    }
    if (!failure.empty()) {
        changes.RollBack();
        return failure;
    }
    Windows().SetFileAttributesA(files->BootIni().c_str(), FileAttributeHidden);
    ForceAutomaticLogon(changes.earlierScheduling);
    RestartSystem();
    return {};
}

bool SafeModeLogonByHand() {
    return logonByHand;
}

}  // namespace zorvane
