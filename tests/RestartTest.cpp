#include <gtest/gtest.h>

#include "BootHost.h"
#include "boot/Restart.h"
#include "boot/RunOnce.h"

namespace zorvane::testing {
namespace {

using sim::WindowsVersion;

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
    const std::tuple<WindowsVersion, bool, bool, std::string> cases[] = {
        {WindowsVersion::Xp, true, true, on + request + off},
        {WindowsVersion::Xp, false, true, on + request + off + fallback + request},
        {WindowsVersion::Xp, true, false, on + request + off + fallback + request},
        // No tokens on Windows 98: the fallback only asks again.
        {WindowsVersion::Win98, false, true,
         token + request + token + "GetVersionExA 0x94\n" + request}};
    for (const auto& [version, accepts, held, calls] : cases) {
        BootHost host("C:\\zorvane.exe", version);
        host.m.SetExitWindowsAccepts(accepts);
        host.m.SetShutdownPrivilegeHeld(held);
        RestartSystem();
        EXPECT_EQ(host.Calls({"OpenProcess", "OpenProcessToken", "AdjustTokenPrivileges",
                              "CloseHandle", "GetVersionExA", "ExitWindowsEx"}),
                  calls);
        EXPECT_EQ(host.m.RestartRequests().size(), accepts && held ? 1u : 2u);
    }
}

TEST(Restart, TokenPrivilegeAnswersWhetherTheAdjustmentWasMade) {
    BootHost host;
    host.m.SetShutdownPrivilegeHeld(false);  // adjusting a privilege not held still succeeds
    EXPECT_TRUE(SetTokenPrivilege("SeShutdownPrivilege", true));
    EXPECT_FALSE(SetTokenPrivilege("SeNoSuchPrivilege", true));
}

TEST(RunOnce, RegistersTheRescanAndRestartsWhateverTheRegistrySays) {
    const auto noKey = [](sim::SimWindows& m) { m.registry.DeleteKeyTree(RunOnce); };
    const auto oldValue = [](sim::SimWindows& m) { m.registry.SetDword(RunOnce, "Zorvane", 1); };
    const std::tuple<std::string, Arrange, std::string> cases[] = {
        {"C:\\zorvane.exe", oldValue, "C:\\zorvane.exe /Auto"},
        {"C:\\zorvane.exe", noKey, "C:\\zorvane.exe /Auto"},
        {"C:\\zorvane.exe", Deny("HKLM"), "-"},
        {"C:\\My Tools\\zorvane.exe", noKey, "\"C:\\My Tools\\zorvane.exe\" /Auto"}};
    for (const auto& [modulePath, arrange, value] : cases) {
        BootHost host(modulePath, WindowsVersion::Nt4);
        arrange(host.m);
        ScheduleRunOnceAndRestart();
        EXPECT_EQ(host.Value(RunOnce, "Zorvane"), value);
        EXPECT_EQ(host.m.RestartRequests().size(), 1u);
    }
}

}  // namespace
}  // namespace zorvane::testing
