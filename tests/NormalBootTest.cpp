#include <gtest/gtest.h>

#include "BootHost.h"
#include "boot/NormalBoot.h"
#include "boot/SafeModeCure.h"

namespace zorvane::testing {
namespace {

TEST(NormalBoot, UndoesTheSchedulingInOrderThenRestarts) {
    BootHost host;
    host.m.registry.SetString(Winlogon, "AutoAdminLogon", "0");
    const std::string original = host.m.files.Content(BootIni);
    ScheduleSafeModeCure();
    host.m.ClearJournal();
    RestoreNormalBoot();
    EXPECT_EQ(host.Calls({"RegSetValueExA", "CreateFileA", "MoveFileExA", "SetFileAttributesA",
                          "DeleteFileA", "ExitWindowsEx"}),
              (std::vector<std::string>{}));
    EXPECT_EQ(host.State(original), "shell=cmd.exe cmd=0 ini=same backup=0 logon=0 restarts=2");
    EXPECT_EQ(host.m.files.Attributes(BootIni), FileAttributeHidden);
}

// Without a backup, boot.ini loses the switch from the ends of its lines, through a new file.
TEST(NormalBoot, WithoutBackupTakesTheSwitchOffBootIni) {
    const std::pair<std::string, std::string> cases[] = {
        {"[operating systems]\r\nmulti(0)a" SW SW "\r\nmulti(0)b" SW " /x\nc" SW "\r\n",
         "[operating systems]\r\nmulti(0)a\r\nmulti(0)b" SW " /x\r\nc\r\n"},
        {"[operating systems]\nmulti(0)a /x\n", "[operating systems]\nmulti(0)a /x\n"}};
    for (const auto& [found, restored] : cases) {
        BootHost host;
        host.m.files.AddFile(BootIni, found, FileAttributeReadOnly | FileAttributeHidden);
        host.m.registry.DeleteKeyTree(SafeBoot);
        RestoreNormalBoot();
        EXPECT_EQ(host.m.files.Content(BootIni), restored);
        EXPECT_EQ(host.m.files.Attributes(BootIni), FileAttributeHidden);
        EXPECT_FALSE(host.m.files.Exists("C:\\boot.ini.ZRVNEW"));
        EXPECT_EQ(host.State(restored), "shell=cmd.exe cmd=0 ini=same backup=0 logon= restarts=1");
    }
}

TEST(NormalBoot, StopsAtAnErrorWithBootIniWhole) {
    const auto noBackup = [](Arrange then) {
        return [then](sim::SimWindows& m) {
            m.DeleteFileA(Backup.c_str());
            then(m);
        };
    };
    const auto oldLogonNotText = [](sim::SimWindows& m) {
        m.registry.SetDword(Winlogon, "OLDAutoAdminLogon", 0);
    };
    const std::tuple<const char*, Arrange, std::string, std::string> cases[] = {
        {"SafeBoot refused", Deny(SafeBoot),
         "ERegistryException: Failed to set data for 'AlternateShell'",
         "shell=C:\\Zorvane.cmd cmd=1 ini=same backup=0 logon=1 restarts=1"},
        {"old logon not text", oldLogonNotText,
         "ERegistryException: Invalid data type for 'OLDAutoAdminLogon'",
         "shell=cmd.exe cmd=0 ini=same backup=0 logon=1 restarts=1"},
        {"move fails", Fail("MoveFileExA", 1, 5), "",
         "shell=cmd.exe cmd=0 ini=changed backup=1 logon=0 restarts=2"},
        {"new boot.ini not creatable", noBackup(Fail("CreateFileA", 2, 5)),
         "EInOutError: File access denied",
         "shell=C:\\Zorvane.cmd cmd=1 ini=changed backup=0 logon=1 restarts=1"},
        {"new boot.ini not written", noBackup(Fail("WriteFile", 1, 112)),
         "EInOutError: I/O error 112",
         "shell=C:\\Zorvane.cmd cmd=1 ini=changed backup=0 logon=1 restarts=1"},
    };
    for (const auto& [what, setup, error, state] : cases) {
        SCOPED_TRACE(what);
        BootHost host;
        const std::string original = host.m.files.Content(BootIni);
        ScheduleSafeModeCure();
        setup(host.m);
        EXPECT_EQ(ErrorOf(RestoreNormalBoot), error);
        EXPECT_EQ(host.State(original), state);
        EXPECT_FALSE(host.m.files.Exists("C:\\boot.ini.ZRVNEW"));
    }
}

}  // namespace
}  // namespace zorvane::testing
