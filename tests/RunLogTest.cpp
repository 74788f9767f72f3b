// The run log on Wine: the story of a whole cure, "/NOLOG", a log that cannot be written, and
// the roll-over at 1 MiB.
#include "TestMachine.h"

namespace zorvane::testing {
namespace {

// The lines of the log that begin with one of `starts`, in order.
Texts LogLines(const std::vector<std::string>& starts) {
    Texts lines;
    const std::string log = FileBytes(RunLog).value_or("");
    for (std::size_t at = 0; at < log.size();) {
        const std::size_t end = log.find("\r\n", at);
        const std::string line = log.substr(at, end - at);
        at = end == std::string::npos ? log.size() : end + 2;
        for (const std::string& start : starts)
            if (line.starts_with(start)) lines.push_back(line);
    }
    return lines;
}

// The XP cure takes three runs, each appending its block: what it found, every change it made
// with its outcome, the restarts and the exit code.
TEST(RunLog, TellsTheStoryOfTheWholeCure) {
    ResetMachine();
    PlantThreats();
    PutFile("C:\\zorvane.exe", "MZ");
    Process p;
    {
        const HeldFile driver(Driver);
        p.w.Hide(Driver);
        EXPECT_EQ(RunProgram(p.w, "zorvane.exe", "y\r\n").exitCode, 3);
        p.w.UnhideAll();
    }
    const Start safeMode = Restart(p.w);
    ASSERT_EQ(safeMode.runs.size(), 1u);
    Restart(p.w);
    EXPECT_EQ(RunProgram(p.w, "zorvane.exe /AUTO").exitCode, 0);
    PutFile(Probe + "\\x", "");  // a folder takes the probe's name
    EXPECT_EQ(RunProgram(p.w, "zorvane.exe /NOCURE /AUTO").exitCode, 1);
    const Texts heads = LogLines({"==== ", "Windows ", "Command line: ", "Exit code: "});
    ASSERT_EQ(heads.size(), 16u);
    EXPECT_EQ(heads[1], "Windows NT 5.1 build 2600 Service Pack 2");
    EXPECT_EQ(heads[2], "Command line: zorvane.exe");
    EXPECT_EQ(heads[6], "Command line: C:\\zorvane.exe /SAFEMODE /AUTO");
    // Each kind of line once: a finding, the answer, the command file, a value set and put
    // back, keys deleted and not there, boot.ini moved back, the restart, a final not found.
    EXPECT_EQ(
        LogLines({"Backdoor.HacDef", " Backdoor.HacDef.073.b - could",
                  "Backdoor.Ubriel.b: Shell \"Explorer.exe ubr2", "Answer", "Set HKLM\\SYSTEM",
                  "Restart", "Command file", "Move C:\\boot.ini.ZRVBACKUP",
                  "Delete key HKLM\\SYSTEM\\ControlSet002\\Services",
                  "Delete key HKLM\\SYSTEM\\CurrentControlSet\\Services",
                  "Set HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon \"Shell\""}),
        (Texts{"Backdoor.Ubriel.b: Shell \"Explorer.exe ubr2.exe\": found",
               "Backdoor.HacDef.073.b: c:\\ubr2drv.sys cannot be created (error 32): found",
               "Answer: \"y\"",
               "Command file C:\\Zorvane.cmd written: C:\\zorvane.exe /SAFEMODE /AUTO",
               "Set HKLM\\SYSTEM\\ControlSet001\\Control\\SafeBoot \"AlternateShell\" from "
               "nothing to \"C:\\Zorvane.cmd\": done",
               "Restart requested: accepted",
               // The Safe Mode run.
               "Backdoor.Ubriel.b: Shell \"Explorer.exe ubr2.exe\": found",
               "Set HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon \"Shell\" "
               "from \"Explorer.exe ubr2.exe\" to \"Explorer.exe\": done",
               "Delete key HKLM\\SYSTEM\\ControlSet002\\Services\\ubr2drv: done",
               "Delete key HKLM\\SYSTEM\\CurrentControlSet\\Services\\ubr2drv: not there",
               "Move C:\\boot.ini.ZRVBACKUP over C:\\boot.ini: done",
               "Set HKLM\\SYSTEM\\ControlSet001\\Control\\SafeBoot \"AlternateShell\" from "
               "\"C:\\Zorvane.cmd\" to \"cmd.exe\": done",
               "Restart requested: accepted",
               // The final scan.
               "Backdoor.HacDef.073.b: c:\\ubr2drv.sys created and listed: not found",
               // A scan that could not check: the error code and the reason.
               "Backdoor.HacDef.073.b: c:\\tempfile.tmp cannot be created (error 5): could not "
               "be checked",
               " Backdoor.HacDef.073.b - could not be checked: c:\\tempfile.tmp is a folder"}));
}

// A log that cannot be opened or written changes nothing else of a run; "/NOLOG" opens none.
TEST(RunLog, NeverChangesTheRun) {
    const auto scan = [](const std::function<void(TestWindows&)>& arrange, const char* line) {
        ResetMachine();
        PlantThreats();
        Process p;
        arrange(p.w);
        const RunResult run = RunProgram(p.w, line);
        return std::to_string(run.exitCode) + run.out + run.err +
               ValueOf(SafeBoot, "AlternateShell").value_or("-") +
               FileBytes(CommandFile).value_or("-") + FileBytes(BootIni).value_or("-");
    };
    const auto oldLog = [](DWORD attributes) {
        return [=](TestWindows&) { PutFile(RunLog, "old", attributes); };
    };
    const std::string plain = scan([](TestWindows&) {}, "z /AUTO /NOLOG");
    EXPECT_FALSE(Exists(RunLog));
    EXPECT_EQ(scan(oldLog(FileAttributeReadOnly), "z /AUTO"), plain);
    EXPECT_EQ(FileBytes(RunLog), "old");
    std::optional<HeldFile> held;
    EXPECT_EQ(scan([&](TestWindows&) { PutFile(RunLog, "old"), held.emplace(RunLog); }, "z /AUTO"),
              plain);
    held.reset();
    EXPECT_EQ(scan(oldLog(0), "z /AUTO /nolog"), plain);
    EXPECT_EQ(FileBytes(RunLog), "old");
    // The log's own first write failing (a full disk; two blocks of the banner come before
    // it) is given up without a word.
    EXPECT_EQ(scan([](TestWindows& w) { w.FailCall("WriteFile", 3, error::DiskFull); }, "z /AUTO"),
              plain);
    EXPECT_EQ(FileBytes(RunLog), "");
}

// Appended to, never cut; over 1 MiB at the start of a run it becomes the old log.
TEST(RunLog, AppendsAndRollsOverAtOneMebibyte) {
    const std::string full(1024 * 1024, 'x'), over = full + "y";
    const std::tuple<std::optional<std::string>, std::string, std::optional<std::string>> cases[] =
        {{std::nullopt, "", std::nullopt},
         {"old\r\n", "old\r\n", std::nullopt},
         {full, full, std::nullopt},
         {over, "", over}};
    for (const auto& [log, kept, old] : cases) {
        ResetMachine();
        PutFile(OldRunLog, "older");
        if (log) PutFile(RunLog, *log);
        if (!old) Erase(OldRunLog);
        Process p;
        RunProgram(p.w, "z /LIST");
        const std::string now = FileBytes(RunLog).value_or("");
        EXPECT_EQ(now.substr(0, kept.size()), kept);
        EXPECT_TRUE(now.substr(kept.size()).starts_with("==== ")) << now.substr(kept.size(), 40);
        EXPECT_TRUE(now.ends_with("Exit code: 0\r\n"));
        EXPECT_EQ(FileBytes(OldRunLog), old);
    }
}

}  // namespace
}  // namespace zorvane::testing
