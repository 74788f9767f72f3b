// Whole runs of the program on Wine, in the test's process: branches, question, pause, exit
// codes, the error report and the bytes on standard output.
#include <regex>

#include "TestMachine.h"
#include "boot/SafeModeCure.h"
#include "frontend/ErrorReport.h"

namespace zorvane::testing {
namespace {

const std::string Banner =
    "+---------------------------------------------------------+\r\n"
    "| Zorvane utility for detecting and removing some viruses |\r\n"
    "|       Copyright (c) 2004 Zorvane. All rights reserved.  |\r\n"
    "|   www.zorvane.example         support@zorvane.example   |\r\n"
    "|                          version 0.1 beta (30 Jul 2004) |\r\n"
    "+---------------------------------------------------------+\r\n\r\n";
const std::string Help =
    "\r\n /H      - This Help message\r\n /NoCure - Don't cure system (only check)\r\n"
    " /Auto   - No questions, auto mode (auto cure and auto reboot)\r\n"
    " /List   - Show list of known viruses and trojans\r\n";
const std::string List =
    " Created 30 Jul 2004. Known 2 viruses:\r\n  - Backdoor.Ubriel.b\r\n  - "
    "Backdoor.HacDef.073.b\r\n";
const std::string
    Clean = " No known viruses and trojan programs found.\r\n",
    Pause = " Press Enter to exit ...", Deleted = " Backdoor.Ubriel.b     - DELETED\r\n",
    DriverDeleted = " Backdoor.HacDef.073.b - DELETED\r\n",
    NotChecked = " Backdoor.HacDef.073.b - could not be checked: c:\\tempfile.tmp is a folder\r\n",
    DriverLeft = " Backdoor.HacDef.073.b - could not be removed\r\n",
    ShellLeft = " Backdoor.Ubriel.b     - could not be removed\r\n",
    NotStarted = " Cure could not be started: ",
    Vista = "this Windows version does not start from boot.ini\r\n",
    UbrielFound = " System INFECTED by: Backdoor.Ubriel.b\r\n",
    Infected = UbrielFound + " System INFECTED by: Backdoor.HacDef.073.b\r\n",
    Question = "Start cure you system: Y/N? (system will be rebooted automatically): ",
    Asked = Infected + Question;

using Arrange = std::function<void(TestWindows&)>;
Arrange Fail(const char* call, DWORD code) {
    return [=](TestWindows& w) { w.FailCall(call, 1, code); };
}
// A folder takes the name of the probe file: the driver cannot be checked.
const Arrange ProbeFolder = [](TestWindows&) { PutFile(Probe + "\\x", ""); };
void CureScheduled(TestWindows& w) {
    ScheduleSafeModeCure();
    w.restartRequests.clear();
}
// Cut short once boot.ini was put back: the shell, the command file, the copy and automatic logon
// are still the cure's.
void ReturnInterrupted(TestWindows& w) {
    CureScheduled(w);
    Erase(Backup);
    PutFile(BootIni, XpBootIni, FileAttributeHidden);
    PutFile(Copy, "MZ");
}
const Arrange Kernel6 = [](TestWindows& w) { w.kernelMajor = 6; };
// A kiosk logs on a limited account by itself, its password stored.
const Arrange Kiosk = [](TestWindows&) {
    PutValue(Winlogon, "DefaultUserName", "kiosk");
    PutValue(Winlogon, "DefaultPassword", "secret");
    PutValue(Winlogon, "AutoAdminLogon", "1");
};

struct Case {
    const char* line;
    Version version;
    const char* input;
    std::string out;  // after the banner
    bool restarted = false, shellRepaired = false;
    int exitCode = 0;
    Arrange arrange = [](TestWindows&) {};
};

// What a run that does not restart leaves as it was, byte for byte: the entries of C:\ (each
// one's attributes, size and last write) and the boot, logon and rescan values; all but the run
// log and what a cure takes from the threats.
std::map<std::string, std::string> MachineState() {
    std::map<std::string, std::string> state = FolderListing("C:");
    for (const char* changing : {"ZORVANE.LOG", "ZORVANE.OLD.LOG", "UBR2.EXE", "UBR2DRV.SYS"})
        state.erase(changing);
    for (const std::string& key : {SafeBoot, Winlogon, RunOnce})
        for (const auto& [name, value] : KeyValues(key))
            if (name != "SHELL") state[key + "\\" + name] = value.second;
    return state;
}

// On an infected machine the driver runs: its file is held open and hidden. A line that begins
// with a path runs the program from there.
void Check(const Case& c, bool infected) {
    SCOPED_TRACE(std::string(c.line) + " | " + c.input);
    const std::string line = c.line;
    const std::string program =
        line.starts_with("C:") ? line.substr(0, line.find(' ')) : "C:\\zorvane.exe";
    ResetMachine();
    if (infected) PlantThreats();
    PutFile(program, "MZ");
    Process p(c.version);
    std::optional<HeldFile> driver;
    if (infected) driver.emplace(Driver), p.w.Hide(Driver);
    c.arrange(p.w);
    auto before = MachineState();
    const RunResult run = RunProgram(p.w, c.line, c.input, program);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, Banner + c.out);
    EXPECT_EQ(!p.w.restartRequests.empty(), c.restarted);
    EXPECT_EQ(ValueOf(Winlogon, "Shell") == "Explorer.exe", !infected || c.shellRepaired);
    if (!c.restarted) {
        // The copy that a run started from it removes, it alone: no copy is left behind.
        if (program == Copy) before.erase("ZRVCURE.EXE");
        EXPECT_EQ(MachineState(), before);
    }
}

// One branch runs, then the pause unless "/AUTO" or "/SAFEMODE" was given or the question was
// asked; an infected scan asks once and starts the cure on an answer that begins with Y.
TEST(RunFlow, BranchesQuestionAndPause) {
    const Case cases[] = {
        {"z", Version::Xp, "\r\n", Clean + Pause},
        {"z /h /list", Version::Xp, "", Help + Pause},
        {"z /LIST /SAFEMODE", Version::Xp, "", List},
        {"z /? /AUTO /Auto", Version::Win95, "", Help},
        // "/NOCURE" checks only: it does not finish a return to normal boot either.
        {"z /NOLOG /nocure -auto auto /AUTOMATIC /HEL -h", Version::Xp, "", Clean + Pause, false,
         false, 0, ReturnInterrupted},
        {"z /Auto", Version::Nt4, "", Clean},
        {"z", Version::WinMe, "", Clean + Pause},
        // A check that could not be made is not "clean", "/NOCURE" or not.
        {"z", Version::Xp, "", NotChecked + Pause, false, false, 1, ProbeFolder},
        {"z /NOCURE /AUTO", Version::Nt4, "", NotChecked, false, false, 1, ProbeFolder}};
    for (const Case& c : cases) Check(c, false);
    const Case infectedCases[] = {
        // A cure that a restart finishes: exit code 3.
        {"z", Version::Xp, "y\r\n", Asked, true, false, 3},
        {"z", Version::Xp, "yes", Asked, true, false, 3},
        {"z", Version::Win2000, "Y\r\nn\r\n", Asked, true, false, 3},
        {"z", Version::Xp, "n\r\n", Asked},
        {"z", Version::Xp, " y\r\n", Asked},
        {"z", Version::Xp, "\r\ny\r\n", Asked},
        {"z", Version::Xp, "", Asked},
        {"z", Version::Xp, "y\r\n", Asked, false, false, 0, Fail("ReadFile", error::BrokenPipe)},
        {"z /AUTO", Version::Xp, "", Infected, true, false, 3},
        // What was found is cured even where the driver could not be checked; a "no" ends
        // with exit code 1, "/NOCURE" with 2.
        {"z /AUTO", Version::Xp, "", UbrielFound + NotChecked, true, false, 3, ProbeFolder},
        {"z", Version::Xp, "n", UbrielFound + NotChecked + Question, false, false, 1, ProbeFolder},
        {"z /nocure", Version::Xp, "", UbrielFound + NotChecked + Pause, false, false, 2,
         ProbeFolder},
        // NT 4.0 cures in place, where the running driver keeps its file out of reach; what it
        // removed goes unsaid (the rescan after the restart reports).
        {"z", Version::Nt4, "y", Asked + DriverLeft, true, true, 1},
        {"z /auto", Version::Nt4, "", Infected + DriverLeft, true, true, 1},
        // (The driver's file showing: it goes at the restart, which the rescan follows.)
        {"z /auto", Version::Nt4, "", Infected, true, true, 3,
         [](TestWindows& w) { w.UnhideAll(); }},
        {"z", Version::Win98, "", Clean + Pause},
        // "/NOCURE" reports only, even with "/AUTO" or a cure scheduled, and tells a script by exit
        // code 2; the pause follows unless "/AUTO" is given. Started from the copy of the program,
        // it removes that copy.
        {"z /NOCURE", Version::Xp, "y\r\n", Infected + Pause, false, false, 2, CureScheduled},
        {"C:\\ZRVCURE.EXE /NoCure /Auto", Version::Nt4, "", Infected, false, false, 2},
        // The Safe Mode run finishes a cure already accepted: "/NOCURE" does not apply to it.
        // (The hiding driver still runs here, so its file is not listed and not removed.)
        {"z /SAFEMODE /AUTO", Version::Xp, "", Deleted, true, true},
        {"z /safemode /nocure", Version::Nt4, "", Deleted, false, true},
        {"z /SAFEMODE", Version::Win98, "", ""},
        // The shell's repair refused: told, and on NT 4.0 no restart and no rescan to come; the
        // rescan after a cure reports what is left and stops there.
        {"z /SAFEMODE /AUTO", Version::Xp, "", ShellLeft, true, false, 1,
         Fail("RegSetValueExA", error::AccessDenied)},
        {"C:\\R&D\\zorvane.exe /AUTO", Version::Nt4, "", Infected + ShellLeft + DriverLeft, false,
         false, 1, Fail("RegSetValueExA", error::AccessDenied)},
        {"z /Auto /AfterCure", Version::Nt4, "", Infected + ShellLeft + DriverLeft, false, false,
         1},
        // The cure cannot start: the user is told why, and nothing is changed.
        {"z /AUTO", Version::Xp, "", Infected + NotStarted + "no boot.ini found\r\n", false, false,
         1, [](TestWindows&) { Erase(BootIni); }},
        {"z /AUTO", Version::Vista, "", Infected + NotStarted + Vista, false, false, 1},
        // Compatibility mode reports XP or NT 4.0 on a later Windows; 64-bit Windows shows the
        // program other folders and keys.
        {"z /AUTO", Version::Xp, "", Infected + NotStarted + Vista, false, false, 1, Kernel6},
        {"z /AUTO", Version::Nt4, "", Infected + NotStarted + Vista, false, false, 1, Kernel6},
        {"z /AUTO", Version::Xp, "",
         Infected + NotStarted + "64-bit Windows hides its system folder and registry from it\r\n",
         false, false, 1, [](TestWindows& w) { w.wow64 = true; }},
        // One run at a time changes the machine, and only with the rights for it (the Safe Mode
        // run's first file is the lock, its first key the test of the rights).
        {"z /SAFEMODE /AUTO /NOLOG", Version::Xp, "",
         " Another run is changing the system: this one changes nothing\r\n", false, false, 1,
         Fail("CreateFileA", error::SharingViolation)},
        {"z /SAFEMODE /AUTO /NOLOG", Version::Win2000, "",
         " Without an administrator's rights this run changes nothing\r\n", false, false, 1,
         Fail("RegOpenKeyExA", error::AccessDenied)},
        // The Safe Mode start must not log the kiosk's account on: an administrator does.
        {"z /AUTO", Version::Xp, "",
         Infected + " An administrator must log on in Safe Mode to finish the cure\r\n", true,
         false, 3, Kiosk}};
    for (const Case& c : infectedCases) Check(c, true);
}

// The report is in the OEM code page (e-acute 0xE9 in the ANSI code page 1252, 0x82 in the OEM
// code page 437), after what waited for standard output, and never through the system's crash
// handler, which would start a debugger or an error dialog instead.
TEST(RunFlow, AnUnhandledErrorEndsTheRunWithTheReportOnStandardErrorAndExitCode1) {
    const std::tuple<const char*, int, DWORD, const char*, const char*> cases[] = {
        {"GetFileType", 1, error::InvalidHandle, "I/O error 105", "^$"},     // output unusable
        {"GetStdHandle", 2, error::InvalidHandle, "I/O error 104", "\\.$"},  // no input
        {"WriteFile", 1, error::AccessDenied, "File access denied", "^$"},
        {"ReadFile", 1, error::DiskFull, "I/O error 112", "\\.$"}};
    for (const auto& [call, occurrence, code, message, out] : cases) {
        SCOPED_TRACE(message);
        ResetMachine();
        Process p;
        p.w.FailCall(call, occurrence, code);
        const RunResult run = RunProgram(p.w, "z /LIST", "\r\n", "C:\\D\xe9\\Caf\xe9.exe");
        EXPECT_EQ(run.exitCode, 1);
        const std::string report =
            "Exception EInOutError in module Caf\x82\\.exe at [0-9A-F]{8}\\.";
        EXPECT_TRUE(
            std::regex_match(run.err, std::regex(report + "\r\n" + message + "\\.\r\n\r\n")))
            << run.err;
        EXPECT_TRUE(std::regex_search(run.out, std::regex(out))) << run.out;
    }
}

// A file or a pipe gets the output in blocks of 128 bytes; the pause's read writes out nothing,
// the last bytes go at the end of the run.
TEST(RunFlow, OutputGoesInBlocksOf128ToFilesAndPipes) {
    for (const bool pipe : {false, true}) {
        ResetMachine();
        Process p;
        const RunResult run = RunProgram(p.w, "z /LIST /NOLOG", "\r\n", "C:\\zorvane.exe", pipe);
        EXPECT_EQ(run.out, Banner + List + Pause);
        std::string order;  // B: a block, R: the read, W: the rest
        for (const std::string& call : p.w.JournalOf({"WriteFile", "ReadFile"}))
            order += call == "WriteFile(0x80)" ? 'B' : call[0];
        EXPECT_EQ(order, std::string(run.out.size() / 128, 'B') + "RW") << pipe;
    }
}

}  // namespace
}  // namespace zorvane::testing
