#include <gtest/gtest.h>

#include "BootHost.h"
#include "ProgramRun.h"

namespace zorvane::testing {
namespace {

using Mode = sim::BootResult::Mode;

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

TEST(CureCycle, XpCuresInSafeModeAndBootsNormallyAgain) {
    for (const auto& [commandLine, answer] :
         {std::pair{"zorvane.exe", "y\r\n"}, std::pair{"zorvane.exe /AUTO", ""}}) {
        SCOPED_TRACE(commandLine);
        sim::SimWindows m;
        m.registry.SetString(Winlogon, "Shell", "Explorer.exe ubr2.exe");
        m.files.AddFile("C:\\WINDOWS\\system32\\ubr2.exe", "MZ");
        m.InstallHidingDriver("c:\\ubr2drv.sys", {"c:\\ubr2drv.sys"}, {"c:\\ubr2drv.sys"});
        m.registry.SetString(Winlogon, "AutoAdminLogon", "");
        const sim::SimWindows::Snapshot before = m.TakeSnapshot();
        EXPECT_TRUE(
            Contains(RunProgram(m, commandLine, answer).out, "INFECTED by: Backdoor.HacDef"));
        const sim::BootResult safeMode = m.Restart(RunOnMachine);
        EXPECT_EQ(safeMode.mode, Mode::SafeMode);
        EXPECT_EQ(safeMode.commandsRun,
                  std::vector<std::string>{"C:\\zorvane.exe /SAFEMODE /AUTO"});
        EXPECT_EQ(safeMode.exitCodes, std::vector<int>{0});
        EXPECT_EQ(m.Restart(RunOnMachine).mode, Mode::Normal);
        EXPECT_TRUE(Contains(RunProgram(m, "zorvane.exe /AUTO").out, "No known viruses"));
        // boot.ini, "AlternateShell" and "AutoAdminLogon" as before; no command file, no backup.
        const std::string winlogon =
            "HKLM\\SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\WINLOGON";
        EXPECT_EQ(
            sim::SimWindows::Describe(before, m.TakeSnapshot()),
            "file changed: C:\\BOOT.INI: attributes 0x6 -> 0x2\nfile removed: C:\\UBR2DRV.SYS\n"
            "file removed: C:\\WINDOWS\\SYSTEM32\\UBR2.EXE\nvalue added: " +
                winlogon + "\\OLDAUTOADMINLOGON (type 1, \"\\x00\")\nvalue changed: " + winlogon +
                "\\SHELL: type 1, \"Explorer.exe ubr2.exe\\x00\" -> type 1, "
                "\"Explorer.exe\\x00\"\n");
    }
}

TEST(CureCycle, Nt4CuresInPlaceAndScansAgainAfterTheRestart) {
    sim::SimWindows m;
    m.SetVersion(sim::WindowsVersion::Nt4);
    m.registry.SetString(Winlogon, "Shell", "Explorer.exe ubr2.exe");
    EXPECT_EQ(RunProgram(m, "zorvane.exe /AUTO").exitCode, 0);
    EXPECT_EQ(m.registry.GetString(Winlogon, "Shell"), "Explorer.exe");
    EXPECT_EQ(m.registry.GetString(RunOnce, "Zorvane"), "C:\\zorvane.exe /Auto");
    EXPECT_EQ(m.RestartRequests().size(), 1u);
    const sim::BootResult boot = m.Restart(RunOnMachine);
    EXPECT_EQ(boot.commandsRun, std::vector<std::string>{"C:\\zorvane.exe /Auto"});
    EXPECT_EQ(boot.exitCodes, std::vector<int>{0});
    EXPECT_EQ(m.RestartRequests().size(), 1u);  // the rescan found nothing, so no new restart
}

}  // namespace
}  // namespace zorvane::testing
