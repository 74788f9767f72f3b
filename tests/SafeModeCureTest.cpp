#include <gtest/gtest.h>

#include "BootHost.h"
#include "boot/SafeModeCure.h"

namespace zorvane::testing {
namespace {

TEST(SafeModeCure, PreparesTheSafeModeRunInOrderThenRestarts) {
    BootHost host;
    ScheduleSafeModeCure();
    EXPECT_EQ(host.Calls({"RegSetValueExA", "CreateFileA", "MoveFileExA", "SetFileAttributesA",
                          "DeleteFileA", "ExitWindowsEx"}),
              (std::vector<std::string>{}));
    EXPECT_EQ(host.m.files.Content(CommandFile), "C:\\zorvane.exe /SAFEMODE /AUTO\r\n");
}

TEST(SafeModeCure, QuotesAProgramPathWithBlanksAndSavesTheLogonItForces) {
    const std::pair<const char*, std::string> cases[] = {{nullptr, "0"}, {"0", "0"}, {"", ""}};
    for (const auto& [found, saved] : cases) {
        BootHost host("C:\\Program Files\\Zorvane\\zorvane.exe");
        host.m.registry.DeleteValue(Winlogon, "AutoAdminLogon");
        if (found) host.m.registry.SetString(Winlogon, "AutoAdminLogon", found);
        ScheduleSafeModeCure();
        EXPECT_EQ(
            host.Value(Winlogon, "OLDAutoAdminLogon") + host.Value(Winlogon, "AutoAdminLogon"),
            saved + "1");
        EXPECT_EQ(host.m.files.Content(CommandFile),
                  "\"C:\\Program Files\\Zorvane\\zorvane.exe\" /SAFEMODE /AUTO\r\n");
    }
}

// Each way the scheduling stops early, and what it leaves on the machine: never a boot.ini that
// is missing or cut short.
TEST(SafeModeCure, StopsEarlyLeavingABootableMachine) {
    const auto noBootIni = [](sim::SimWindows& m) {
        m.SetFileAttributesA(BootIni.c_str(), FileAttributeNormal);
        m.DeleteFileA(BootIni.c_str());
    };
    const auto smallBootIni = [](sim::SimWindows& m) {  // written only when it is closed
        m.files.AddFile(BootIni, "[operating systems]\r\nmulti(0)a\r\n");
        m.FailCall("WriteFile", 2, 112);
    };
    const auto logonNotText = [](sim::SimWindows& m) {
        m.registry.SetDword(Winlogon, "AutoAdminLogon", 1);
    };
    const auto noSafeBootKey = [](sim::SimWindows& m) {
        m.registry.DeleteKeyTree(SafeBoot);
        m.registry.DenyAccess("HKLM\\SYSTEM\\ControlSet001\\Control");
    };
    const std::string set = "ERegistryException: Failed to set data for 'AlternateShell'",
                      io112 = "EInOutError: I/O error 112",
                      untouched = " ini=same backup=0 logon=- restarts=0";
    const std::tuple<const char*, Arrange, std::string, std::string> cases[] = {
        {"SafeBoot refused", Deny(SafeBoot), set, "shell=cmd.exe cmd=0" + untouched},
        {"SafeBoot not creatable", noSafeBootKey,
         "ERegistryException: Failed to create key \\SYSTEM\\ControlSet001\\Control\\SafeBoot",
         "shell=- cmd=0" + untouched},
        {"command file not creatable", Fail("CreateFileA", 1, 5), "",
         "shell=cmd.exe cmd=0" + untouched},
        {"command file not written", Fail("WriteFile", 1, 112), io112,
         "shell=C:\\Zorvane.cmd cmd=1" + untouched},
        {"no boot.ini", noBootIni, "",
         "shell=cmd.exe cmd=0 ini=missing backup=0 logon=- restarts=0"},
        {"backup not readable", Fail("CreateFileA", 2, 32), "", "shell=cmd.exe cmd=0" + untouched},
        {"boot.ini not creatable", Fail("CreateFileA", 3, 5), "",
         "shell=cmd.exe cmd=0" + untouched},
        {"copy fails", Fail("WriteFile", 2, 112), io112, "shell=C:\\Zorvane.cmd cmd=1" + untouched},
        {"boot.ini close fails", smallBootIni, io112, "shell=C:\\Zorvane.cmd cmd=1" + untouched},
        {"logon not text", logonNotText,
         "ERegistryException: Invalid data type for 'AutoAdminLogon'",
         "shell=C:\\Zorvane.cmd cmd=1 ini=changed backup=1 logon=- restarts=0"},
        {"Winlogon refused", Deny(Winlogon), "",
         "shell=C:\\Zorvane.cmd cmd=1 ini=changed backup=1 logon=- restarts=1"},
    };
    for (const auto& [what, setup, error, state] : cases) {
        SCOPED_TRACE(what);
        BootHost host;
        setup(host.m);
        const std::string original = host.m.files.Content(BootIni);
        EXPECT_EQ(ErrorOf(ScheduleSafeModeCure), error);
        EXPECT_EQ(host.State(original), state);
        EXPECT_EQ(host.m.files.OpenHandleCount(), 0u);
    }
}

}  // namespace
}  // namespace zorvane::testing
