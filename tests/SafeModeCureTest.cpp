#include <gtest/gtest.h>

#include "BootHost.h"
#include "boot/NormalBoot.h"
#include "boot/SafeModeCure.h"

namespace zorvane::testing {
namespace {

const std::set<std::string> FileAndRegistryChanges = {"RegSetValueExA", "CreateFileA",
                                                      "MoveFileExA",    "SetFileAttributesA",
                                                      "DeleteFileA",    "ExitWindowsEx"};

TEST(SafeModeCure, IsScheduledAndUndoneInOrder) {
    BootHost host("C:\\Program Files\\Zorvane\\zorvane.exe");
    host.m.registry.DeleteValue(Winlogon, "AutoAdminLogon");  // saved as "0"
    const std::string original = host.m.files.Content(BootIni);
    ScheduleSafeModeCure();
    EXPECT_EQ(host.Calls(FileAndRegistryChanges),
              "RegSetValueExA \"AlternateShell\" 0x0 0x1 \"C:\\Zorvane.cmd\0\" 0xF\n"
              "CreateFileA \"C:\\Zorvane.cmd\" 0x40000000 0x1 NULL 0x2 0x80 NULL\n"
              "SetFileAttributesA \"C:\\boot.ini\" 0x80\n"
              // boot.ini stays whole in place: the backup is a copy, renamed once complete...
              "CreateFileA \"C:\\boot.ini\" 0x80000000 0x1 NULL 0x3 0x80 NULL\n"
              "CreateFileA \"C:\\boot.ini.ZRVNEW\" 0x40000000 0x0 NULL 0x2 0x80 NULL\n"
              "SetFileAttributesA \"C:\\boot.ini.ZRVNEW\" 0x80\n"
              "MoveFileExA \"C:\\boot.ini.ZRVNEW\" \"C:\\boot.ini.ZRVBACKUP\" 0x3\n"
              // ... and the Safe Mode copy is written beside it, then moved over it.
              "CreateFileA \"C:\\boot.ini.ZRVBACKUP\" 0x80000000 0x1 NULL 0x3 0x80 NULL\n"
              "CreateFileA \"C:\\boot.ini.ZRVNEW\" 0x40000000 0x1 NULL 0x2 0x80 NULL\n"
              "MoveFileExA \"C:\\boot.ini.ZRVNEW\" \"C:\\boot.ini\" 0x3\n"
              "SetFileAttributesA \"C:\\boot.ini\" 0x2\n"
              "RegSetValueExA \"OLDAutoAdminLogon\" 0x0 0x1 \"0\0\" 0x2\n"
              "RegSetValueExA \"AutoAdminLogon\" 0x0 0x1 \"1\0\" 0x2\nExitWindowsEx 0x2 0x0\n"s);
    EXPECT_EQ(host.m.files.Content(CommandFile),
              "\"C:\\Program Files\\Zorvane\\zorvane.exe\" /SAFEMODE /AUTO\r\n");
    host.m.ClearJournal();
    RestoreNormalBoot();
    EXPECT_EQ(host.Calls(FileAndRegistryChanges),
              "MoveFileExA \"C:\\boot.ini.ZRVBACKUP\" \"C:\\boot.ini\" 0x3\n"
              "RegSetValueExA \"AlternateShell\" 0x0 0x1 \"cmd.exe\0\" 0x8\n"
              "DeleteFileA \"C:\\Zorvane.cmd\"\nSetFileAttributesA \"C:\\boot.ini\" 0x2\n"
              "RegSetValueExA \"AutoAdminLogon\" 0x0 0x1 \"0\0\" 0x2\nExitWindowsEx 0x2 0x0\n"s);
    EXPECT_EQ(host.State(original), "cmd.exe same logon=0 restarts=2");
}

// Each way the scheduling and its undoing stop early, and what they leave: never a boot.ini that
// is missing or cut short.
TEST(SafeModeCure, StopsEarlyLeavingABootableMachine) {
    const auto scheduled = [](Arrange then, bool backup = true) {
        return [=](sim::SimWindows& m) {
            ScheduleSafeModeCure();
            if (!backup) m.DeleteFileA(Backup.c_str());
            then(m);
        };
    };
    const Arrange noBootIni = [](sim::SimWindows& m) { m.DeleteFileA(BootIni.c_str()); };
    const Arrange noSafeBootKey = [](sim::SimWindows& m) {
        m.registry.DeleteKeyTree(SafeBoot);
        m.registry.DenyAccess("HKLM\\SYSTEM\\ControlSet001\\Control");
    };
    const Arrange notText = [](auto& m) { m.registry.SetDword(Winlogon, "AutoAdminLogon", 1); };
    const Arrange oldNotText = [](auto& m) {
        m.registry.SetDword(Winlogon, "OLDAutoAdminLogon", 0);
    };
    const auto schedule = ScheduleSafeModeCure, restore = RestoreNormalBoot;
    const std::string io = "EInOutError: I/O error 112", reg = "ERegistryException: ",
                      shell = reg + "Failed to set data for 'AlternateShell'",
                      rolledBack = "cmd.exe same logon=0 restarts=0",
                      stopped = "C:\\Zorvane.cmd cmd same logon=0 restarts=0",
                      copyStopped = "C:\\Zorvane.cmd cmd same backup logon=0 restarts=0",
                      cmdLeft = "C:\\Zorvane.cmd cmd changed logon=1 restarts=1";
    const std::tuple<Arrange, void (*)(), std::string, std::string> cases[] = {
        {Deny(SafeBoot), schedule, shell, rolledBack},
        {noSafeBootKey, schedule, reg + "Failed to create key " + SafeBoot.substr(4),
         "- same logon=0 restarts=0"},
        {Fail("CreateFileA", 1, 5), schedule, "", rolledBack},  // command file not creatable
        {Fail("WriteFile", 1, 112), schedule, io, stopped},     // command file not written
        {noBootIni, schedule, "", "cmd.exe missing logon=0 restarts=0"},
        {Fail("CreateFileA", 2, 32), schedule, "", rolledBack},        // backup not readable
        {Fail("CreateFileA", 3, 5), schedule, "", rolledBack},         // boot.ini not creatable
        {Fail("GetModuleFileNameA", 1, 5), schedule, "", rolledBack},  // own path unknown
        {Fail("WriteFile", 2, 112), schedule, "", rolledBack},         // the backup not written
        {Fail("WriteFile", 3, 112), schedule, io, copyStopped},        // the copy fails
        {Fail("WriteFile", 4, 112), schedule, io, copyStopped},        // closing the copy fails
        {notText, schedule, reg + "Invalid data type for 'AutoAdminLogon'",
         "C:\\Zorvane.cmd cmd changed backup logon=- restarts=0"},
        {Deny(Winlogon), schedule, "", "C:\\Zorvane.cmd cmd changed backup logon=0 restarts=1"},
        {scheduled(Deny(SafeBoot)), restore, shell, "C:\\Zorvane.cmd cmd same logon=1 restarts=1"},
        {scheduled(oldNotText), restore, reg + "Invalid data type for 'OLDAutoAdminLogon'",
         "cmd.exe same logon=1 restarts=1"},
        // The backup not moved back: the switch is taken out of boot.ini instead.
        {scheduled(Fail("MoveFileExA", 1, 5)), restore, "",
         "cmd.exe same backup logon=0 restarts=2"},
        // Neither (boot.ini held open): the Safe Mode start and its cure stay, to run again.
        {scheduled([](auto& m) { m.files.HoldOpenByOtherProcess(BootIni); }), restore,
         "EInOutError: I/O error 32", "C:\\Zorvane.cmd cmd changed backup logon=1 restarts=1"},
        {scheduled(Fail("CreateFileA", 2, 5), false), restore, "EInOutError: File access denied",
         cmdLeft},  // the new boot.ini not creatable
        {scheduled(Fail("WriteFile", 1, 112), false), restore, io, cmdLeft}};
    int n = 0;
    for (const auto& [arrange, operation, error, state] : cases) {
        SCOPED_TRACE(++n);
        BootHost host;
        const std::string original = host.m.files.Content(BootIni);
        arrange(host.m);
        EXPECT_EQ(ErrorOf(operation), error);
        EXPECT_EQ(host.State(original), state);
        EXPECT_EQ(host.m.files.OpenHandleCount(), 0u);
        EXPECT_FALSE(host.m.files.Exists(NewBootIni));
    }
}

// A second scheduling before the Safe Mode run keeps the automatic logon saved by the first.
TEST(SafeModeCure, SchedulingTwiceKeepsTheSavedAutomaticLogon) {
    BootHost host;
    host.m.registry.SetString(Winlogon, "AutoAdminLogon", "0");
    ScheduleSafeModeCure();
    ScheduleSafeModeCure();
    RestoreNormalBoot();
    EXPECT_EQ(host.Value(Winlogon, "AutoAdminLogon"), "0");
}

}  // namespace
}  // namespace zorvane::testing
