// Restarts, the rescan at the next logon, and the Safe Mode cure's scheduling and undoing on Wine.
#include <algorithm>

#include "TestMachine.h"
#include "boot/NormalBoot.h"
#include "boot/Restart.h"
#include "boot/RunOnce.h"
#include "boot/SafeModeCure.h"

namespace zorvane::testing {
namespace {

const std::size_t XpEntryEnd = XpBootIni.find("\r\nC:\\CMDCONS");
const std::string Switched = XpBootIni.substr(0, XpEntryEnd) + SW + XpBootIni.substr(XpEntryEnd);

// A machine as XP has it: the Safe Mode start's own shell, no automatic logon.
void ResetXp() {
    ResetMachine();
    PutValue(SafeBoot, "AlternateShell", "cmd.exe");
}

// The shell, the command file, boot.ini against XP's, the backup, the copy of the program, the
// logon and the restarts.
std::string State(const TestWindows& w) {
    const auto Text = [](const std::string& key, const char* name) {
        return TypeOf(key, name) == RegSz ? *ValueOf(key, name) : "-";
    };
    const auto ini = FileBytes(BootIni);
    return Text(SafeBoot, "AlternateShell") + (Exists(CommandFile) ? " cmd " : " ") +
           (ini == XpBootIni ? "same" : (ini ? "changed" : "missing")) +
           (Exists(Backup) ? " backup" : "") + (Exists(Copy) ? " copy" : "") +
           " logon=" + Text(Winlogon, "AutoAdminLogon") +
           " restarts=" + std::to_string(w.restartRequests.size());
}

// The privilege is on (+) for the request (E) and off (-) again before a second one, which only a
// refusal brings: by the process opened (O) by its id on the NT family, as it is elsewhere.
TEST(Restart, PrivilegeOnThenOffAndASecondRequestOnlyAfterARefusal) {
    const std::tuple<Version, const char*, std::string> cases[] = {
        {Version::Xp, "", "+E-"},
        {Version::Xp, "ExitWindowsEx", "+E-O+E"},
        {Version::Xp, "AdjustTokenPrivileges", "+E-O+E"},
        {Version::Win98, "ExitWindowsEx", "+E-E"}};
    for (const auto& [version, failing, calls] : cases) {
        SCOPED_TRACE(failing);
        Process p(version);
        p.w.FailCall(failing, 1, error::AccessDenied);
        RestartSystem();
        std::string journal;
        for (const TestWindows::Call& call : p.w.Journal()) {
            if (call.name == "AdjustTokenPrivileges")
                journal += call.args.find("0x2") != std::string::npos ? '+' : '-';
            if (call.name == "ExitWindowsEx" || call.name == "OpenProcess") journal += call.name[0];
        }
        EXPECT_EQ(journal, calls);
        EXPECT_EQ(p.w.restartRequests, std::vector<UINT>{EwxReboot});
    }
    Process p;
    EXPECT_TRUE(SetTokenPrivilege("SeShutdownPrivilege", true));
    EXPECT_FALSE(SetTokenPrivilege("SeNoSuchPrivilege", true));
}

// The rescan is registered over whatever the value held, quoted where the path has a blank; a
// refused registry still restarts, and a copy made for the rescan goes with the entry that
// would have started it. The next logon runs it once.
TEST(RunOnce, RegistersTheRescanAndRestarts) {
    const auto refused = [](TestWindows& w) {
        w.FailCall("RegSetValueExA", 1, error::AccessDenied);
    };
    const std::string copy = "C:\\ZRVCURE.EXE";
    const std::tuple<std::string, std::function<void(TestWindows&)>, std::optional<std::string>>
        cases[] = {
            {"C:\\zorvane.exe", [](auto&) { PutValue(RunOnce, "Zorvane", "\1\0\0\0"s, RegDword); },
             "C:\\zorvane.exe /Auto /AfterCure"},
            {"C:\\My Tools\\zorvane.exe", [](auto&) { EraseKey(RunOnce); },
             "\"C:\\My Tools\\zorvane.exe\" /Auto /AfterCure"},
            {"C:\\zorvane.exe", refused, std::nullopt},
            {copy, [](auto&) {}, copy + " /Auto /AfterCure"},
            {copy, refused, std::nullopt}};
    for (const auto& [modulePath, arrange, value] : cases) {
        ResetMachine();
        PutFile(modulePath, "MZ");
        Process p(Version::Nt4, modulePath);
        arrange(p.w);
        ScheduleRunOnceAndRestart(modulePath, modulePath == copy);
        EXPECT_EQ(ValueOf(RunOnce, "Zorvane"), value);
        EXPECT_EQ(Exists(modulePath), value || modulePath != copy) << modulePath;
        EXPECT_EQ(p.w.restartRequests.size(), 1u);
        const Start start = Restart(p.w);
        EXPECT_EQ(start.commands, value ? Texts{*value} : Texts{});
        for (const RunResult& run : start.runs) EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(ValueOf(RunOnce, "Zorvane"), std::nullopt);
    }
}

// The next start is minimal Safe Mode running the program from the command file, logged on
// automatically; that run undoes it all (the saved logon too: a later "/SAFEMODE" typed by hand
// must not bring it back), and the start after is the one of before. boot.ini is
// never written in place: every new content is a whole file moved over it, and the shell names
// the command file before boot.ini starts Safe Mode.
TEST(SafeModeCure, IsScheduledRunAndUndone) {
    ResetXp();
    const std::string exe = "C:\\Program Files\\Zorvane\\zorvane.exe", self = '"' + exe + '"',
                      own = "C:\\Rescue\\shell.cmd";  // a Safe Mode shell of the user's own
    PutFile(exe, "MZ");
    PutValue(SafeBoot, "AlternateShell", own);
    Process p(Version::Xp, exe);
    ScheduleSafeModeCure();
    const std::string move = "MoveFileExA(\"C:\\boot.ini.ZRVNEW\", \"C:\\boot.ini",
                      logon = "RegSetValueExA(\"AutoAdminLogon\", 0x1, ",
                      shell = "RegSetValueExA(\"AlternateShell\", 0x1, \"";
    // The command file is on the disk before boot.ini is switched, as the backup and boot.ini.
    const std::set<std::string> changes = {"RegSetValueExA", "RegDeleteValueA", "MoveFileExA",
                                           "DeleteFileA",    "ExitWindowsEx",   "FlushFileBuffers"};
    EXPECT_EQ(
        p.w.JournalOf(changes),
        (Texts{"FlushFileBuffers()", "FlushFileBuffers()", move + ".ZRVBACKUP\", 0xB)",
               "FlushFileBuffers()", "RegSetValueExA(\"OLDAlternateShell\", 0x1, \"" + own + "\")",
               shell + "C:\\Zorvane.cmd\")", move + "\", 0xB)",
               "RegSetValueExA(\"OLDAutoAdminLogon\", 0x1, \"0\")", logon + "\"1\")",
               "ExitWindowsEx(0x2)"}));
    // The running system's name is only read.
    for (const TestWindows::Call& call : p.w.Journal())
        EXPECT_FALSE(call.args.find("Control\", 0x0, 0xF003F") != std::string::npos) << call.args;
    for (const TestWindows::Call& call : p.w.Journal())
        EXPECT_FALSE(call.name == "CreateFileA" && call.args.starts_with("\"C:\\boot.ini\", 0x4"))
            << call.args;
    ScheduleSafeModeCure();  // again: the backup and the saved logon stay those of before
    EXPECT_EQ(FileBytes(BootIni), Switched);
    // Wine marks every file for archiving, whatever was set.
    EXPECT_EQ(AttributesOf(BootIni) & ~FileAttributeArchive, FileAttributeHidden);
    EXPECT_EQ(FileBytes(Backup), XpBootIni);
    EXPECT_EQ(ValueOf(Winlogon, "OLDAutoAdminLogon"), "0");
    EXPECT_EQ(State(p.w), "C:\\Zorvane.cmd cmd changed backup logon=1 restarts=2");

    p.w.ClearJournal();
    Start start = Restart(p.w);
    EXPECT_EQ(start.commands, Texts{self + " /SAFEMODE /AUTO"});
    ASSERT_EQ(start.runs.size(), 1u);
    EXPECT_EQ(start.runs[0].exitCode, 0);
    EXPECT_EQ(p.w.JournalOf(changes),
              (Texts{"MoveFileExA(\"C:\\boot.ini.ZRVBACKUP\", \"C:\\boot.ini\", 0xB)",
                     shell + own + "\")", "RegDeleteValueA(h, \"OLDAlternateShell\")",
                     "DeleteFileA(\"C:\\Zorvane.cmd\")", logon + "\"0\")",
                     "RegDeleteValueA(h, \"OLDAutoAdminLogon\")", "ExitWindowsEx(0x2)"}));
    start = Restart(p.w);
    EXPECT_EQ(State(p.w), own + " same logon=0 restarts=3");
    // The attributes boot.ini had (ResetMachine): read-only, hidden, system.
    EXPECT_EQ(AttributesOf(BootIni) & ~FileAttributeArchive,
              FileAttributeReadOnly | FileAttributeHidden | FileAttributeSystem);
}

// Without its backup (gone with a disk check, or deleted by hand) the return takes the switch out
// of boot.ini, which keeps the attributes it had then.
TEST(NormalBoot, WithoutTheBackupTakesTheSwitchOutKeepingTheAttributes) {
    ResetXp();
    PutFile("C:\\zorvane.exe", "MZ");
    Process p(Version::Xp, "C:\\zorvane.exe");
    ScheduleSafeModeCure();
    Erase(Backup);
    const Start start = Restart(p.w);
    ASSERT_EQ(start.runs.size(), 1u);
    EXPECT_EQ(start.runs[0].exitCode, 0);
    EXPECT_EQ(FileBytes(BootIni), XpBootIni);
    EXPECT_EQ(AttributesOf(BootIni) & ~FileAttributeArchive, FileAttributeHidden);
}

// The loader's other disk names are entries too, an indented line is not; "default=" is pointed
// at the running system ("SystemBootDevice" and the Windows folder) when it names another. An
// entry msconfig put in Safe Mode carries the cure's switch alone, and gets its own back. A
// machine last started with Last Known Good starts next from ControlSet002, so its SafeBoot key
// gets the shell as well, and gets it back.
TEST(SafeModeCure, SwitchesEveryEntryAndStartsTheRunningSystemFromTheNextControlSet) {
    const auto bootIni = [](const std::string& defaultEntry, const std::string& sw) {
        return "[boot loader]\r\ntimeout=30\r\ndefault=" + defaultEntry +
               "\r\n[operating systems]\r\nmulti(0)disk(0)rdisk(0)partition(2)\\WINNT=\"2000\"" +
               sw + "\r\nsignature(8b467c12)disk(0)rdisk(0)partition(1)\\WINDOWS=\"RAID\"" +
               (sw.empty() ? " /safeboot:network /sos" : " /sos" + sw) +
               "\r\nSCSI(0)disk(1)rdisk(0)partition(1)\\WINNT=\"SCSI\" /fastdetect" + sw +
               "\r\nmulti(1)disk(0)rdisk(0)partition(1)\\WINDOWS=\"second\"" + sw +
               "\r\n multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"indented\"\r\n"
               "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"XP\"" +
               sw + "\r\n";
    };
    const std::string original = bootIni("multi(0)disk(0)rdisk(0)partition(2)\\WINNT", "");
    ResetXp();
    PutFile(BootIni, original, FileAttributeHidden);
    PutValue("HKLM\\SYSTEM\\CurrentControlSet\\Control", "SystemBootDevice",
             "multi(0)disk(0)rdisk(0)partition(1)");
    PutValue("HKLM\\SYSTEM\\Select", "Default", "\2\0\0\0"s, RegDword);
    const std::string safeBoot2 = "HKLM\\SYSTEM\\ControlSet002\\Control\\SafeBoot";
    PutValue(safeBoot2, "AlternateShell", "cmd.exe");
    PutFile("C:\\zorvane.exe", "MZ");
    Process p;
    ScheduleSafeModeCure();
    EXPECT_EQ(FileBytes(BootIni), bootIni("multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS", SW));
    for (const std::string& key : {SafeBoot, safeBoot2})
        EXPECT_EQ(ValueOf(key, "AlternateShell"), CommandFile) << key;
    const Start start = Restart(p.w);
    EXPECT_EQ(start.commands, Texts{"C:\\zorvane.exe /SAFEMODE /AUTO"});
    EXPECT_EQ(FileBytes(BootIni), original);
    for (const std::string& key : {SafeBoot, safeBoot2})
        EXPECT_EQ(ValueOf(key, "AlternateShell"), "cmd.exe") << key;
}

// A return to normal boot cut short once boot.ini was put back leaves automatic logon on, the
// shell, the command file (whatever drive the shell names it on) and the copy of the program
// (started from a folder cmd.exe would misread): a later scan puts all that right, and then finds
// nothing to change in keys it only reads. While boot.ini still starts Safe Mode (or may: held by
// another program), or its backup waits, they are the cure's and stay.
TEST(NormalBoot, ALaterScanFinishesAnInterruptedReturnButKeepsAnArrangedStart) {
    ResetXp();
    PutFile("C:\\R&D\\zorvane.exe", "MZ");
    Process p(Version::Xp, "C:\\R&D\\zorvane.exe");
    ScheduleSafeModeCure();
    const std::string arranged = "C:\\Zorvane.cmd cmd changed backup copy logon=1 restarts=1";
    FinishInterruptedReturn();
    EXPECT_EQ(State(p.w), arranged);
    Erase(Backup);
    {
        const HeldFile held(BootIni);
        FinishInterruptedReturn();
    }
    FinishInterruptedReturn();
    EXPECT_EQ(State(p.w), "C:\\Zorvane.cmd cmd changed copy logon=1 restarts=1");
    PutFile(BootIni, XpBootIni, FileAttributeHidden);
    PutValue(SafeBoot, "AlternateShell", "d:\\ZORVANE.cmd");
    PutFile("D:\\Zorvane.cmd", "x");
    FinishInterruptedReturn();
    EXPECT_EQ(State(p.w), "cmd.exe same logon=0 restarts=1");
    EXPECT_FALSE(Exists("D:\\Zorvane.cmd"));
    EXPECT_EQ(ValueOf(Winlogon, "OLDAutoAdminLogon"), std::nullopt);
    p.w.ClearJournal();
    FinishInterruptedReturn();
    for (const TestWindows::Call& call : p.w.Journal())
        EXPECT_FALSE(call.name.starts_with("Reg") && call.args.ends_with("0xF003F")) << call.args;
}

// The loader reads the boot.ini of the system partition, whose device "SystemPartition" names:
// that one is switched, its backup beside it, also when Windows is on D: with a boot.ini the
// loader never reads. Without the value, or when no drive letter stands for that device, the
// system drive comes first, then C:, each looked at once. The return puts back the one switched
// and deletes the command file the shell names, though its run has another "SystemDrive".
TEST(SafeModeCure, SwitchesTheBootIniTheLoaderReads) {
    const auto device = [](const char* drive) {
        char target[MaxPath + 1] = {};
        RealWindows().QueryDosDeviceA(drive, target, MaxPath);
        return std::string(target);
    };
    const std::string setup = "HKLM\\SYSTEM\\Setup", d = "D:\\boot.ini";
    // SystemPartition, SystemDrive of the scheduling and of the return, the drive switched.
    const std::tuple<std::optional<std::string>, const char*, const char*, char> cases[] = {
        {device("C:"), "D:", "C:", 'C'},
        {device("D:"), "C:", "C:", 'D'},
        {std::nullopt, "D:", "D:", 'D'},
        {"\\Device\\HarddiskVolume99", "D:", "D:", 'D'},
        {std::nullopt, "C:", "C:", '-'}};  // C:\boot.ini not listed
    for (const auto& [partition, drive, returnDrive, switched] : cases) {
        SCOPED_TRACE(drive + partition.value_or(""));
        ResetXp();
        for (const char* file : {"D:\\boot.ini.ZRVBACKUP", "D:\\Zorvane.cmd"}) Erase(file);
        PutFile(d, XpBootIni, FileAttributeHidden);
        partition ? PutValue(setup, "SystemPartition", *partition)
                  : EraseValue(setup, "SystemPartition");
        PutFile("C:\\zorvane.exe", "MZ");
        Process p;
        if (switched == '-') p.w.Hide(BootIni);
        p.w.SetSystemDrive(drive);
        ComputeHostFacts();
        EXPECT_EQ(ScheduleSafeModeCure(), switched == '-' ? "no boot.ini found" : "");
        EXPECT_EQ(std::ranges::count_if(p.w.Journal(),
                                        [](const TestWindows::Call& call) {
                                            return call.args == "\"C:\\boot.ini\"";
                                        }),
                  switched == 'D' ? 0 : 1);
        EXPECT_EQ(FileBytes(BootIni), switched == 'C' ? Switched : XpBootIni);
        EXPECT_EQ(FileBytes(d), switched == 'D' ? Switched : XpBootIni);
        EXPECT_EQ(Exists(std::string(1, switched) + ":\\boot.ini.ZRVBACKUP"), switched != '-');
        p.w.SetSystemDrive(returnDrive);
        ComputeHostFacts();
        RestoreNormalBoot();
        EXPECT_EQ(FileBytes(d), XpBootIni);
        EXPECT_FALSE(Exists("D:\\Zorvane.cmd") || Exists(CommandFile) || Exists(Backup));
    }
    Erase(d);
}

// The Safe Mode start runs the program with an administrator's rights: its own path only where no
// other account may change or replace it before the restart (anyone may add files to its folder
// or write the file; no permissions at all); an entry only for what the folder will hold does
// not count.
TEST(SafeModeCure, RunsItsOwnPathOnlyWhereNoOtherAccountCanChangeIt) {
    const std::string folder = "C:\\Shared", exe = folder + "\\zorvane.exe";
    constexpr DWORD Read = 0x1200A9, Write = 0x2;  // write to the file, add a file to the folder
    constexpr BYTE InheritOnly = 0x9;              // for the files the folder will hold
    // everyone's rights on the folder with the entry's flags, on the file; the program started
    const std::tuple<DWORD, BYTE, std::optional<DWORD>, std::string> cases[] = {
        {Read, 0, Read, exe},
        {Read | Write, 0, Read, Copy},
        {Read | Write, InheritOnly, Read, exe},
        {Read, 0, Read | Write, Copy},
        {Read, 0, std::nullopt, Copy}};
    for (const auto& [folderRights, flags, fileRights, started] : cases) {
        SCOPED_TRACE(started + " " + std::to_string(folderRights));
        ResetXp();
        PutFile(exe, "MZ");
        PutDacl(folder, folderRights, flags);
        PutDacl(exe, fileRights);
        Process p(Version::Xp, exe);
        EXPECT_EQ(ScheduleSafeModeCure(), "");
        EXPECT_EQ(FileBytes(CommandFile), started + " /SAFEMODE /AUTO\r\n");
        // The copy is flushed before boot.ini names the Safe Mode start that runs it.
        Texts order;
        for (const TestWindows::Call& call : p.w.Journal())
            if (call.args.starts_with('"' + Copy + "\", 0x40000000") ||
                call.args.starts_with("\"C:\\boot.ini.ZRVNEW\", \"C:\\boot.ini\"") ||
                (call.name == "FlushFileBuffers" && !order.empty() && order.back() == "copy"))
                order.push_back(call.name == "CreateFileA" ? "copy" : call.name);
        const Texts expected = started == Copy ? Texts{"copy", "FlushFileBuffers", "MoveFileExA"}
                                               : Texts{"MoveFileExA"};
        EXPECT_EQ(order, expected);
    }
}

using Arrange = std::function<void(TestWindows&)>;
Arrange Fail(const char* call, int occurrence, DWORD code) {
    return [=](TestWindows& w) { w.FailCall(call, occurrence, code); };
}
// Automatic logon of a kiosk's limited account, its password stored; or of the account running
// the cure, its name in other letters' case.
Arrange Kiosk(bool runningAccount, bool scheduled = false) {
    return [=](TestWindows&) {
        char user[257] = {};
        DWORD size = sizeof user;
        RealWindows().GetUserNameA(user, &size);
        PutValue(Winlogon, "DefaultUserName", runningAccount ? AsciiUpper(user) : "kiosk");
        PutValue(Winlogon, "DefaultPassword", "secret");
        PutValue(Winlogon, "AutoAdminLogon", "1");
        if (scheduled) ScheduleSafeModeCure();
    };
}
Arrange Scheduled(Arrange then, bool backup = true) {
    return [=](TestWindows& w) {
        ScheduleSafeModeCure();
        if (!backup) Erase(Backup);
        then(w);
    };
}

// Each way the scheduling and its undoing stop early, and what they leave: never a boot.ini that
// is missing or cut short, never a file or handle left behind. A scheduling that cannot be done
// says why and takes back what it changed.
TEST(SafeModeCure, StopsEarlyLeavingABootableMachine) {
    std::optional<HeldFile> held;  // boot.ini held open by another program
    const std::function<std::string()> schedule = ScheduleSafeModeCure,
                                       restore = [] { return RestoreNormalBoot(), ""s; };
    const std::string io = "EInOutError: I/O error 112", reg = "ERegistryException: ",
                      shell = reg + "Failed to set data for 'AlternateShell'",
                      rolledBack = "cmd.exe same logon=- restarts=0",
                      cmdLeft = "C:\\Zorvane.cmd cmd changed logon=1 restarts=1";
    const std::tuple<Arrange, std::function<std::string()>, std::string, std::string> cases[] = {
        {Fail("RegSetValueExA", 1, 5), schedule, reg + "Failed to set data for 'OLDAlternateShell'",
         rolledBack},
        {Fail("CreateFileA", 1, 5), schedule, "the command file could not be created", rolledBack},
        {Fail("CreateFileA", 2, 32), schedule, "boot.ini could not be backed up", rolledBack},
        {Fail("GetModuleFileNameA", 1, 5), schedule, "the program's own path could not be read",
         rolledBack},
        // A SUBST drive is gone after the restart: the copy is what the command file would name
        // (Wine cannot read through such a drive, so here the copy fails).
        {[](TestWindows& w) {
             SubstDrive("Q:", "C:\\windows"), w.SetProcess("zorvane.exe", "Q:\\zorvane.exe");
         },
         schedule, "the program could not be copied to C:\\ZRVCURE.EXE", rolledBack},
        // An older copy, read-only as one copied from a CD is, is written over.
        {[](TestWindows& w) {
             PutFile(Copy, "old", FileAttributeReadOnly), PutFile("C:\\R&D\\zorvane.exe", "MZ");
             w.SetProcess("zorvane.exe", "C:\\R&D\\zorvane.exe");
         },
         schedule, "", "C:\\Zorvane.cmd cmd changed backup copy logon=1 restarts=1"},
        {Fail("WriteFile", 1, 112), schedule, io, rolledBack},  // the command file cut short
        {Fail("WriteFile", 3, 112), schedule, io, rolledBack},  // the new boot.ini not written
        {Fail("FlushFileBuffers", 1, 5), schedule, "EInOutError: File access denied", rolledBack},
        {Fail("FlushFileBuffers", 3, 5), schedule, "EInOutError: File access denied", rolledBack},
        {Fail("MoveFileExA", 2, 32), schedule, "boot.ini could not be replaced (error 32)",
         rolledBack},
        // Automatic logon of any type is read as text, a DWORD as its digits.
        {[](TestWindows&) { PutValue(Winlogon, "AutoAdminLogon", "\1\0\0\0"s, RegDword); },
         schedule, "", "C:\\Zorvane.cmd cmd changed backup logon=1 restarts=1"},
        {Fail("RegCreateKeyExA", 1, 5), schedule, "",  // Winlogon refused
         "C:\\Zorvane.cmd cmd changed backup logon=- restarts=1"},
        // A second scheduling that fails keeps the first one whole.
        {Scheduled(Fail("MoveFileExA", 1, 32)), schedule,
         "boot.ini could not be replaced (error 32)",
         "C:\\Zorvane.cmd cmd changed backup logon=1 restarts=1"},
        {Scheduled(Fail("RegSetValueExA", 1, 5)), restore, shell,
         "C:\\Zorvane.cmd cmd same logon=1 restarts=1"},
        {Scheduled(
             [](TestWindows&) { PutValue(Winlogon, "OLDAutoAdminLogon", "\0\0\0\0"s, RegDword); }),
         restore, "", "cmd.exe same logon=0 restarts=2"},
        // The backup not moved back: the switch is taken out of boot.ini instead, and the backup
        // goes, so that no later scheduling takes it for the boot.ini of before it.
        {Scheduled(Fail("MoveFileExA", 1, 5)), restore, "", "cmd.exe same logon=0 restarts=2"},
        // Neither: the Safe Mode start and its cure stay, to run again.
        {Scheduled([&](TestWindows&) { held.emplace(BootIni); }), restore,
         "EInOutError: I/O error 32", "C:\\Zorvane.cmd cmd changed backup logon=1 restarts=1"},
        {Scheduled(Fail("CreateFileA", 2, 5), false), restore, "EInOutError: File access denied",
         cmdLeft},  // the new boot.ini not creatable
        {Scheduled(Fail("WriteFile", 1, 112), false), restore, io, cmdLeft},
        {[](TestWindows&) {  // no backup: the switch is taken out of a read-only boot.ini
             PutFile(BootIni, Switched, FileAttributeReadOnly | FileAttributeHidden);
             EraseKey(SafeBoot);
         },
         restore, "", "cmd.exe same logon=- restarts=1"},  // no saved logon: left alone
        // The Safe Mode start does not log the kiosk's account on; the return puts its automatic
        // logon back. The account running the cure may log on by itself.
        {Kiosk(false), schedule, "", "C:\\Zorvane.cmd cmd changed backup logon=0 restarts=1"},
        {Kiosk(false, true), restore, "", "cmd.exe same logon=1 restarts=2"},
        {Kiosk(true), schedule, "", "C:\\Zorvane.cmd cmd changed backup logon=1 restarts=1"},
        // A "/SAFEMODE" run started by hand on a machine that logs on by itself keeps that.
        {[](TestWindows&) { PutValue(Winlogon, "AutoAdminLogon", "1"); }, restore, "",
         "cmd.exe same logon=1 restarts=1"}};
    int n = 0;
    for (const auto& [arrange, operation, error, state] : cases) {
        SCOPED_TRACE(++n);
        ResetXp();
        Process p;
        arrange(p.w);
        std::string outcome;
        const std::string raised = ErrorOf([&, operation = operation] { outcome = operation(); });
        EXPECT_EQ(raised.empty() ? outcome : raised, error);
        held.reset();
        EXPECT_EQ(State(p.w), state);
        EXPECT_FALSE(Exists(NewBootIni));
    }
}

}  // namespace
}  // namespace zorvane::testing
