#include <gtest/gtest.h>

#include "BootHost.h"
#include "ProgramRun.h"

namespace zorvane::testing {
namespace {

void PlantBothThreats(sim::SimWindows& m) {
    m.registry.SetString(Winlogon, "Shell", "Explorer.exe ubr2.exe");
    m.files.AddFile("C:\\WINDOWS\\system32\\ubr2.exe", "MZ");
    m.registry.AddKey("HKLM\\SYSTEM\\ControlSet001\\Services\\ubr2drv");
    m.InstallHidingDriver("c:\\ubr2drv.sys", {"c:\\ubr2drv.sys"}, {"c:\\ubr2drv.sys"});
}

constexpr const char* Clean = " No known viruses and trojan programs found.";

TEST(CureCycle, XpCuresInSafeModeAndBootsNormallyAgain) {
    const std::pair<const char*, const char*> runs[] = {{"zorvane.exe", "y\r\n"},
                                                        {"zorvane.exe /AUTO", ""}};
    for (const auto& [commandLine, answer] : runs) {
        SCOPED_TRACE(commandLine);
        sim::SimWindows m;
        PlantBothThreats(m);
        m.registry.SetString(Winlogon, "AutoAdminLogon", "0");
        const sim::SimWindows::Snapshot before = m.TakeSnapshot();
        const RunResult scan = RunProgram(m, commandLine, answer);
        EXPECT_NE(scan.out.find(" System INFECTED by: Backdoor.HacDef.073.b"), std::string::npos);
        const sim::BootResult safeMode = m.Restart(RunOnMachine);
        EXPECT_EQ(safeMode.mode, sim::BootResult::Mode::SafeMode);
        EXPECT_EQ(safeMode.commandsRun,
                  (std::vector<std::string>{"C:\\zorvane.exe /SAFEMODE /AUTO"}));
        EXPECT_EQ(safeMode.exitCodes, (std::vector<int>{0}));
        EXPECT_EQ(m.Restart(RunOnMachine).mode, sim::BootResult::Mode::Normal);
        EXPECT_NE(RunProgram(m, "zorvane.exe /AUTO").out.find(Clean), std::string::npos);
        EXPECT_EQ(m.files.Content(BootIni), sim::SimWindows::XpBootIni());
        EXPECT_EQ(m.registry.GetString(SafeBoot, "AlternateShell"), "cmd.exe");
        EXPECT_EQ(m.registry.GetString(Winlogon, "AutoAdminLogon"), "0");
        EXPECT_FALSE(m.files.Exists(CommandFile) || m.files.Exists(Backup));
        EXPECT_EQ(m.RestartRequests().size(), 2u);
        EXPECT_EQ(sim::SimWindows::Describe(before, m.TakeSnapshot()), "");
    }
}

TEST(CureCycle, Nt4CuresInPlaceAndScansAgainAfterTheRestart) {
    sim::SimWindows m;
    m.SetVersion(sim::WindowsVersion::Nt4);
    m.registry.SetString(Winlogon, "Shell", "Explorer.exe ubr2.exe");
    EXPECT_EQ(RunProgram(m, "zorvane.exe /AUTO").exitCode, 0);
    EXPECT_EQ(m.registry.GetString(RunOnce, "Zorvane"), "C:\\zorvane.exe /Auto");
    EXPECT_EQ(m.RestartRequests().size(), 1u);
    const sim::BootResult boot = m.Restart(RunOnMachine);
    EXPECT_EQ(boot.commandsRun, (std::vector<std::string>{"C:\\zorvane.exe /Auto"}));
    EXPECT_EQ(boot.exitCodes, (std::vector<int>{0}));
    EXPECT_EQ(m.registry.GetString(RunOnce, "Zorvane"), std::nullopt);
    EXPECT_EQ(m.RestartRequests().size(), 1u);  // the rescan found nothing to cure
    EXPECT_EQ(m.registry.GetString(Winlogon, "Shell"), "Explorer.exe");
}

}  // namespace
}  // namespace zorvane::testing
