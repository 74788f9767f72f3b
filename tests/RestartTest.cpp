#include <gtest/gtest.h>

#include "BootHost.h"
#include "boot/Restart.h"
#include "boot/RunOnce.h"

namespace zorvane::testing {
namespace {

using sim::WindowsVersion;

TEST(Restart, SecondRequestOnlyAfterARefusal) {
    struct Case {
        WindowsVersion version;
        bool accepts;
        std::vector<std::string> calls;
    } cases[] = {
        {WindowsVersion::Xp, true, {}},
        {WindowsVersion::Xp, false, {}},
        {WindowsVersion::Win98, false, {}},
    };
    for (const Case& c : cases) {
        BootHost host("C:\\zorvane.exe", c.version);
        host.m.SetExitWindowsAccepts(c.accepts);
        RestartSystem();
        EXPECT_EQ(host.Calls({"GetCurrentProcess", "GetCurrentProcessId", "OpenProcess",
                              "OpenProcessToken", "LookupPrivilegeValueA", "AdjustTokenPrivileges",
                              "CloseHandle", "GetVersionExA", "ExitWindowsEx"}),
                  c.calls);
        EXPECT_FALSE(host.m.ShutdownPrivilegeEnabled() && c.accepts);
        for (const sim::RestartRequest& request : host.m.RestartRequests())
            EXPECT_TRUE(request.flags == EwxReboot && request.reserved == 0);
    }
}

TEST(Restart, TokenPrivilegeAnswersWhetherTheAdjustmentWasAccepted) {
    BootHost host;
    EXPECT_TRUE(SetTokenPrivilege("SeShutdownPrivilege", true));
    EXPECT_TRUE(host.m.ShutdownPrivilegeEnabled());
    EXPECT_FALSE(SetTokenPrivilege("SeNoSuchPrivilege", true));
    host.m.FailCall("AdjustTokenPrivileges", 1, 5);
    EXPECT_FALSE(SetTokenPrivilege("SeShutdownPrivilege", false));
    host.m.FailCall("OpenProcessToken", 1, 5);
    EXPECT_FALSE(SetTokenPrivilege("SeShutdownPrivilege", false));
    host.m.SetShutdownPrivilegeHeld(false);  // not held: the call still succeeds
    EXPECT_TRUE(SetTokenPrivilege("SeShutdownPrivilege", true));
    EXPECT_EQ(host.Calls({"AdjustTokenPrivileges", "CloseHandle", "OpenProcessToken"}),
              (std::vector<std::string>{}));
    EXPECT_EQ(host.m.files.OpenHandleCount(), 0u);
}

TEST(RunOnce, RegistersTheRescanAndRestartsWhateverTheRegistrySays) {
    struct Case {
        const char* what;
        std::string modulePath;
        std::function<void(sim::SimWindows&)> setup;
        std::string value;
    } cases[] = {
        {"key present", "C:\\zorvane.exe",
         [](auto& m) { m.registry.SetString(RunOnce, "Zorvane", "x"); }, "C:\\zorvane.exe /Auto"},
        {"key missing", "C:\\zorvane.exe", [](auto& m) { m.registry.DeleteKeyTree(RunOnce); },
         "C:\\zorvane.exe /Auto"},
        {"no rights", "C:\\zorvane.exe", [](auto& m) { m.registry.DenyAccess(RunOnce); }, "<none>"},
        {"blanks", "C:\\My Tools\\zorvane.exe", [](auto&) {},
         "\"C:\\My Tools\\zorvane.exe\" /Auto"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BootHost host(c.modulePath, WindowsVersion::Nt4);
        c.setup(host.m);
        ScheduleRunOnceAndRestart();
        EXPECT_EQ(host.Value(RunOnce, "Zorvane"), c.value);
        EXPECT_EQ(host.m.RestartRequests().size(), 1u);
    }
}

}  // namespace
}  // namespace zorvane::testing
