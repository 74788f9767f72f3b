#include "TestMachine.h"
#include "boot/NormalBoot.h"
#include "boot/Restart.h"
#include "boot/RestartProgram.h"
#include "boot/RunOnce.h"
#include "boot/SafeModeCure.h"

namespace zorvane::testing {
namespace {

TEST(Restart, PrivilegeOnThenOffAndASecondRequestOnlyAfterARefusal) {
    const std::string token = "OpenProcessToken INVALID 0x28\n",
                      request = "ExitWindowsEx 0x2 0x0\n",
                      adjust = "AdjustTokenPrivileges 0x0 {SeShutdownPrivilege=",
                      on = token + adjust + "0x2} 0x0\nCloseHandle\n",
                      off = token + adjust + "0x0} 0x0\nCloseHandle\n",
                      fallback =
                          "GetVersionExA 0x94\nOpenProcess 0x1F0FFF 0x0 0x5A8\n"
                          "OpenProcessToken 0x20\n" +
                          adjust + "0x2} 0x0\nCloseHandle\nCloseHandle\n";
    const std::tuple<sim::WindowsVersion, bool, bool, std::string> cases[] = {
        {Xp, true, true, on + request + off},
        {Xp, false, true, on + request + off + fallback + request},
        {Xp, true, false, on + request + off + fallback + request},
        // No tokens on Windows 98: the fallback only asks again.
        {Win98, false, true, token + request + token + "GetVersionExA 0x94\n" + request}};
    for (const auto& [version, accepts, held, calls] : cases) {
        Host h("C:\\zorvane.exe", version);
        h.m.SetExitWindowsAccepts(accepts);
        h.m.SetShutdownPrivilegeHeld(held);
        RestartSystem();
        EXPECT_EQ(h.Calls({"OpenProcess", "OpenProcessToken", "AdjustTokenPrivileges",
                           "CloseHandle", "GetVersionExA", "ExitWindowsEx"}),
                  calls);
        EXPECT_EQ(h.m.RestartRequests().size(), accepts && held ? 1u : 2u);
    }
    Host h;
    h.m.SetShutdownPrivilegeHeld(false);  // adjusting a privilege not held still succeeds
    EXPECT_TRUE(SetTokenPrivilege("SeShutdownPrivilege", true));
    EXPECT_FALSE(SetTokenPrivilege("SeNoSuchPrivilege", true));
}

TEST(RunOnce, RegistersTheRescanAndRestartsWhateverTheRegistrySays) {
    const Arrange noKey = [](SimWindows& m) { m.registry.DeleteKeyTree(RunOnce); };
    const std::tuple<std::string, Arrange, std::string> cases[] = {
        {"C:\\zorvane.exe", [](SimWindows& m) { m.registry.SetDword(RunOnce, "Zorvane", 1); },
         "C:\\zorvane.exe /Auto"},
        {"C:\\zorvane.exe", noKey, "C:\\zorvane.exe /Auto"},
        {"C:\\zorvane.exe", Deny("HKLM"), "-"},
        {"C:\\My Tools\\zorvane.exe", noKey, "\"C:\\My Tools\\zorvane.exe\" /Auto"}};
    for (const auto& [modulePath, arrange, value] : cases) {
        Host h(modulePath, Nt4);
        arrange(h.m);
        ScheduleRunOnceAndRestart(PrepareRestartProgram().path);
        EXPECT_EQ(h.Value(RunOnce, "Zorvane"), value);
        EXPECT_EQ(h.m.RestartRequests().size(), 1u);
    }
}

TEST(SafeModeCure, IsScheduledAndUndoneInOrder) {
    const std::set<std::string> changes = {"RegSetValueExA",     "CreateFileA", "MoveFileExA",
                                           "SetFileAttributesA", "DeleteFileA", "ExitWindowsEx"};
    Host h("C:\\Program Files\\Zorvane\\zorvane.exe");
    h.m.registry.DeleteValue(Winlogon, "AutoAdminLogon");  // saved as "0"
    const std::string original = h.m.files.Content(BootIni);
    ScheduleSafeModeCure();
    EXPECT_EQ(h.Calls(changes),
              "CreateFileA \"C:\\Zorvane.cmd\" 0x40000000 0x1 NULL 0x2 0x80 NULL\n"
              // boot.ini stays whole in place: the backup is a copy, renamed once complete...
              "CreateFileA \"C:\\boot.ini\" 0x80000000 0x1 NULL 0x3 0x80 NULL\n"
              "CreateFileA \"C:\\boot.ini.ZRVNEW\" 0x40000000 0x0 NULL 0x2 0x80 NULL\n"
              "SetFileAttributesA \"C:\\boot.ini.ZRVNEW\" 0x80\n"
              "MoveFileExA \"C:\\boot.ini.ZRVNEW\" \"C:\\boot.ini.ZRVBACKUP\" 0xB\n"
              // ... and the Safe Mode copy is written beside it, then moved over it.
              "CreateFileA \"C:\\boot.ini.ZRVBACKUP\" 0x80000000 0x1 NULL 0x3 0x80 NULL\n"
              "CreateFileA \"C:\\boot.ini.ZRVNEW\" 0x40000000 0x1 NULL 0x2 0x80 NULL\n"
              "RegSetValueExA \"AlternateShell\" 0x0 0x1 \"C:\\Zorvane.cmd\0\" 0xF\n"
              "SetFileAttributesA \"C:\\boot.ini\" 0x80\n"
              "MoveFileExA \"C:\\boot.ini.ZRVNEW\" \"C:\\boot.ini\" 0xB\n"
              "SetFileAttributesA \"C:\\boot.ini\" 0x2\n"
              "RegSetValueExA \"OLDAutoAdminLogon\" 0x0 0x1 \"0\0\" 0x2\n"
              "RegSetValueExA \"AutoAdminLogon\" 0x0 0x1 \"1\0\" 0x2\nExitWindowsEx 0x2 0x0\n"s);
    EXPECT_EQ(h.m.files.Content(CommandFile),
              "\"C:\\Program Files\\Zorvane\\zorvane.exe\" /SAFEMODE /AUTO\r\n");
    h.m.ClearJournal();
    RestoreNormalBoot();
    EXPECT_EQ(h.Calls(changes),
              "MoveFileExA \"C:\\boot.ini.ZRVBACKUP\" \"C:\\boot.ini\" 0xB\n"
              "RegSetValueExA \"AlternateShell\" 0x0 0x1 \"cmd.exe\0\" 0x8\n"
              "DeleteFileA \"C:\\Zorvane.cmd\"\nSetFileAttributesA \"C:\\boot.ini\" 0x2\n"
              "RegSetValueExA \"AutoAdminLogon\" 0x0 0x1 \"0\0\" 0x2\nExitWindowsEx 0x2 0x0\n"s);
    EXPECT_EQ(h.State(original), "cmd.exe same logon=0 restarts=2");
}

// Each way the scheduling and its undoing stop early, and what they leave: never a boot.ini that
// is missing or cut short.
TEST(SafeModeCure, StopsEarlyLeavingABootableMachine) {
    const auto scheduled = [](Arrange then, bool backup = true) -> Arrange {
        return [=](SimWindows& m) {
            ScheduleSafeModeCure();
            if (!backup) m.DeleteFileA(Backup.c_str());
            then(m);
        };
    };
    const Arrange noSafeBootKey = [](SimWindows& m) {
        m.registry.DeleteKeyTree(SafeBoot);
        m.registry.DenyAccess("HKLM\\SYSTEM\\ControlSet001\\Control");
    };
    void (*const schedule)() = [] { ScheduleSafeModeCure(); };
    void (*const restore)() = RestoreNormalBoot;
    const std::string io = "EInOutError: I/O error 112", reg = "ERegistryException: ",
                      shell = reg + "Failed to set data for 'AlternateShell'",
                      rolledBack = "cmd.exe same logon=0 restarts=0",
                      cmdLeft = "C:\\Zorvane.cmd cmd changed logon=1 restarts=1";
    const std::tuple<Arrange, void (*)(), std::string, std::string> cases[] = {
        {Deny(SafeBoot), schedule, shell, rolledBack},
        {noSafeBootKey, schedule, reg + "Failed to create key " + SafeBoot.substr(4),
         "- same logon=0 restarts=0"},
        {Fail("CreateFileA", 1, 5), schedule, "", rolledBack},  // command file not creatable
        {Fail("WriteFile", 1, 112), schedule, io, "cmd.exe cmd same logon=0 restarts=0"},
        {[](SimWindows& m) { m.DeleteFileA(BootIni.c_str()); }, schedule, "",
         "cmd.exe missing logon=0 restarts=0"},
        {Fail("CreateFileA", 2, 32), schedule, "", rolledBack},        // backup not readable
        {Fail("CreateFileA", 3, 5), schedule, "", rolledBack},         // boot.ini not creatable
        {Fail("GetModuleFileNameA", 1, 5), schedule, "", rolledBack},  // own path unknown
        {Fail("WriteFile", 2, 112), schedule, "", rolledBack},         // the backup not written
        {Fail("WriteFile", 3, 112), schedule, io, rolledBack},         // the copy fails
        {Fail("WriteFile", 4, 112), schedule, io, rolledBack},         // closing the copy fails
        {[](SimWindows& m) { m.registry.SetDword(Winlogon, "AutoAdminLogon", 1); }, schedule,
         reg + "Invalid data type for 'AutoAdminLogon'",
         "C:\\Zorvane.cmd cmd changed backup logon=- restarts=0"},
        {Deny(Winlogon), schedule, "", "C:\\Zorvane.cmd cmd changed backup logon=0 restarts=1"},
        {scheduled(Deny(SafeBoot)), restore, shell, "C:\\Zorvane.cmd cmd same logon=1 restarts=1"},
        {scheduled([](SimWindows& m) { m.registry.SetDword(Winlogon, "OLDAutoAdminLogon", 0); }),
         restore, reg + "Invalid data type for 'OLDAutoAdminLogon'",
         "cmd.exe same logon=1 restarts=1"},
        // The backup not moved back: the switch is taken out of boot.ini instead.
        {scheduled(Fail("MoveFileExA", 1, 5)), restore, "",
         "cmd.exe same backup logon=0 restarts=2"},
        // Neither (boot.ini held open): the Safe Mode start and its cure stay, to run again.
        {scheduled([](SimWindows& m) { m.files.HoldOpenByOtherProcess(BootIni); }), restore,
         "EInOutError: I/O error 32", "C:\\Zorvane.cmd cmd changed backup logon=1 restarts=1"},
        {scheduled(Fail("CreateFileA", 2, 5), false), restore, "EInOutError: File access denied",
         cmdLeft},  // the new boot.ini not creatable
        {scheduled(Fail("WriteFile", 1, 112), false), restore, io, cmdLeft}};
    int n = 0;
    for (const auto& [arrange, operation, error, state] : cases) {
        SCOPED_TRACE(++n);
        Host h;
        const std::string original = h.m.files.Content(BootIni);
        arrange(h.m);
        EXPECT_EQ(ErrorOf(operation), error);
        EXPECT_EQ(h.State(original), state);
        EXPECT_EQ(h.m.files.OpenHandleCount(), 0u);
        EXPECT_FALSE(h.m.files.Exists(NewBootIni));
    }
}

// Scheduled twice, both rewrites start from the backup and the automatic logon saved by the
// first is kept; the return to normal boot gives back boot.ini byte for byte.
TEST(BootIniRewrite, SwitchesOnlyTheArcPathEntriesOfTheOperatingSystemSection) {
    const std::pair<std::string, std::string> cases[] = {
        {"[boot loader]\r\ndefault=multi(0)w\r\n[operating "
         "systems]\r\nmulti(0)w=\"XP\"\r\nC:\\c=\"C\"\r\n",
         "[boot loader]\r\ndefault=multi(0)w\r\n[operating systems]\r\nmulti(0)w=\"XP\"" SW
         "\r\nC:\\c=\"C\"\r\n"},
        // Letter case, indented entries, LF line ends, a section that ends the file.
        {"[Operating Systems]\nMULTI(0)a\nMulti(0)b\n multi(0)c\n\tmulti(0)d\n",
         "[Operating Systems]\r\nMULTI(0)a" SW "\r\nMulti(0)b" SW
         "\r\n multi(0)c\r\n\tmulti(0)d\r\n"},
        {"multi(0)a\r\n[operating systems]\r\nmulti(0)b" SW "\r\n[x]\r\nmulti(0)c\r\n",
         "multi(0)a\r\n[operating systems]\r\nmulti(0)b" SW SW "\r\n[x]\r\nmulti(0)c\r\n"},
        {"[operating systems]\r\nmulti(0)a", "[operating systems]\r\nmulti(0)a" SW "\r\n"},
        {"[operating systems]\r\nmulti(0)a\r\n\x1Amulti(0)b\r\n",
         "[operating systems]\r\nmulti(0)a" SW "\r\n"}};
    for (const auto& [original, rewritten] : cases) {
        SCOPED_TRACE(original);
        Host h;
        h.m.files.AddFile(BootIni, original, FileAttributeHidden | FileAttributeSystem);
        for (int scheduling = 0; scheduling < 2; ++scheduling) {
            ScheduleSafeModeCure();
            EXPECT_EQ(h.m.files.Content(BootIni), rewritten);
            EXPECT_EQ(h.m.files.Attributes(BootIni), FileAttributeHidden);
            EXPECT_EQ(h.m.files.Content(Backup), original);
            EXPECT_EQ(h.m.files.Attributes(Backup), FileAttributeNormal);
        }
        RestoreNormalBoot();
        EXPECT_EQ(h.State(original), "cmd.exe same logon=0 restarts=3");
    }
}

// Without a backup, boot.ini loses the switch from the ends of its lines, through a new file.
TEST(BootIniRewrite, WithoutBackupTheReturnToNormalBootTakesTheSwitchOff) {
    const std::pair<std::string, std::string> cases[] = {
        {"[operating systems]\r\nmulti(0)a" SW SW "\r\nmulti(0)b" SW " /x\nc" SW "\r\n" SW "\r\n",
         "[operating systems]\r\nmulti(0)a\r\nmulti(0)b" SW " /x\r\nc\r\n\r\n"},
        {"[operating systems]\nmulti(0)a /x\n", "[operating systems]\nmulti(0)a /x\n"}};
    for (const auto& [found, restored] : cases) {
        Host h;
        h.m.files.AddFile(BootIni, found, FileAttributeReadOnly | FileAttributeHidden);
        h.m.registry.DeleteKeyTree(SafeBoot);  // created again
        RestoreNormalBoot();
        EXPECT_EQ(h.State(restored), "cmd.exe same logon= restarts=1");  // no OLDAutoAdminLogon
        EXPECT_EQ(h.m.files.Attributes(BootIni), FileAttributeHidden);
        EXPECT_FALSE(h.m.files.Exists(NewBootIni));
    }
}

}  // namespace
}  // namespace zorvane::testing
