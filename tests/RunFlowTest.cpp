#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <regex>

#include "ProgramRun.h"
#include "frontend/ErrorReport.h"

namespace zorvane {
namespace {

using sim::StdKind;
using enum sim::WindowsVersion;

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
const std::string Clean = " No known viruses and trojan programs found.\r\n";
const std::string Pause = " Press Enter to exit ...";
const std::string Infected =
    " System INFECTED by: Backdoor.Ubriel.b\r\n System INFECTED by: Backdoor.HacDef.073.b\r\n";
const std::string Question =
    "Start cure you system: Y/N? (system will be rebooted automatically): ";
const char* const Winlogon = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

using Arrange = std::function<void(sim::SimWindows&)>;

struct Case {
    const char* line;
    sim::WindowsVersion version;
    const char* input;
    std::string out;  // after the banner
    bool restarted = false, shellRepaired = false;
    DWORD readFailure = 0;  // of the first ReadFile
};

void Check(const Case& c, bool infected) {
    SCOPED_TRACE(std::string(c.line) + " | " + c.input);
    sim::SimWindows machine;
    machine.SetVersion(c.version);
    if (infected) {
        machine.registry.SetString(Winlogon, "Shell", "Explorer.exe ubr2.exe");
        machine.InstallHidingDriver("c:\\ubr2drv.sys", {"c:\\ubr2drv.sys"}, {});
    }
    if (c.readFailure) machine.FailCall("ReadFile", 1, c.readFailure);
    const auto run = testing::RunProgram(machine, c.line, c.input);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, Banner + c.out);
    EXPECT_EQ(!machine.RestartRequests().empty(), c.restarted);
    EXPECT_EQ(machine.registry.GetString(Winlogon, "Shell") == "Explorer.exe",
              !infected || c.shellRepaired);
}

TEST(RunFlow, OneBranchThenThePauseUnlessAutoOrSafeMode) {
    const Case cases[] = {
        {"z", Xp, "\r\n", Clean + Pause},
        {"z /h /list", Xp, "", Help + Pause},
        {"z /LIST /SAFEMODE", Xp, "", List},
        {"z /help /auto", Xp, "", Help},
        {"z /? /AUTO /Auto", Win95, "", Help},
        {"z /SAFEMODE", Win98, "", ""},
        {"z /NOLOG /nocure -auto auto /AUTOMATIC /HEL -h", Xp, "", Clean + Pause},
        {"z /Auto", Nt4, "", Clean},
        {"z", WinMe, "", Clean + Pause},
    };
    for (const Case& c : cases) Check(c, false);
}

TEST(RunFlow, AnInfectedScanAsksOnceAndStartsTheCureOnYes) {
    const Case cases[] = {
        {"z", Xp, "y\r\n", Infected + Question, true},
        {"z", Xp, "yes", Infected + Question, true},
        {"z", Win2000, "Y\r\nn\r\n", Infected + Question, true},
        {"z", Xp, "n\r\n", Infected + Question},
        {"z", Xp, " y\r\n", Infected + Question},
        {"z", Xp, "\r\ny\r\n", Infected + Question},
        {"z", Xp, "", Infected + Question},
        {"z", Xp, "y\r\n", Infected + Question, false, false, error::BrokenPipe},
        {"z /AUTO", Xp, "", Infected, true},
        {"z", Nt4, "y", Infected + Question, true, true},
        {"z /auto", Nt4, "", Infected, true, true},
        {"z", Win98, "", Clean + Pause},
        // "/NOCURE" reports only, even with "/AUTO"; the pause follows unless "/AUTO" is given.
        {"z /NOCURE", Xp, "y\r\n", Infected + Pause},
        {"z /NoCure /Auto", Nt4, "", Infected},
        {"z /auto /nocure", Xp, "", Infected},
        // The Safe Mode run finishes a cure already accepted: "/NOCURE" does not apply to it.
        // (The hiding driver still runs here, so its file is not listed and not removed.)
        {"z /SAFEMODE /AUTO", Xp, "", " Backdoor.Ubriel.b     - DELETED\r\n", true, true},
        {"z /safemode /nocure", Nt4, "", " Backdoor.Ubriel.b     - DELETED\r\n", false, true},
        {"z /SAFEMODE", Win98, "", ""},
    };
    for (const Case& c : cases) Check(c, true);
}

TEST(RunFlow, AnUnhandledErrorEndsTheRunWithTheReportOnStandardErrorAndExitCode1) {
    const std::tuple<Arrange, const char*, const char*> cases[] = {
        {[](auto& m) { m.SetStdKind(StdOutputHandle, StdKind::Unknown); }, "I/O error 105", "^$"},
        {[](auto& m) { m.SetStdKind(StdOutputHandle, StdKind::Invalid); }, "I/O error 105", "^$"},
        {[](auto& m) { m.SetStdKind(StdInputHandle, StdKind::Invalid); }, "I/O error 104", "\\.$"},
        {[](auto& m) { m.FailCall("WriteFile", 1, error::AccessDenied); }, "File access denied",
         "^$"},
        // What waits for standard output is written out before the report.
        {[](auto& m) { m.FailCall("ReadFile", 1, error::DiskFull); }, "I/O error 112", "\\.$"},
    };
    for (const auto& [arrange, message, out] : cases) {
        SCOPED_TRACE(message);
        sim::SimWindows machine;
        machine.SetOemConversion([](std::string text) {  // the report is in the OEM code page
            std::replace(text.begin(), text.end(), '\xe9', '\x82');
            return text;
        });
        arrange(machine);
        const auto run = testing::RunProgram(machine, "z /LIST", "\r\n", "C:\\D\xe9\\Caf\xe9.exe");
        EXPECT_EQ(run.exitCode, 1);
        const std::string report =
            "Exception EInOutError in module Caf\x82\\.exe at [0-9A-F]{8}\\.\r\n";
        EXPECT_TRUE(std::regex_match(run.err, std::regex(report + message + "\\.\r\n\r\n")))
            << run.err;
        EXPECT_TRUE(std::regex_search(run.out, std::regex(out)));
        const auto names = machine.JournalNames();  // the system's filter is asked first
        EXPECT_LT(std::find(names.begin(), names.end(), "UnhandledExceptionFilter"),
                  std::find(names.begin(), names.end(), "CharToOemA"));
    }
    sim::SimWindows machine;  // the filter lets the system end the process: no report
    machine.SetUnhandledExceptionAnswer(ExceptionContinueSearch);
    machine.FailCall("ReadFile", 1, error::DiskFull);
    const auto run = testing::RunProgram(machine, "z /LIST", "\r\n");
    EXPECT_EQ(run.exitCode, static_cast<int>(ProgramErrorExceptionCode));
    EXPECT_EQ(machine.UnhandledExceptions(), std::vector<DWORD>{ProgramErrorExceptionCode});
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.size(), 3 * 128u);  // the bytes held in the buffer are lost
}

// /LIST writes about 490 bytes, then reads a line at the pause.
TEST(RunFlow, OutputGoesInBlocksOf128ToFilesAndPipesAndAtOnceToAConsole) {
    std::string console;
    for (const StdKind kind : {StdKind::Console, StdKind::DiskFile, StdKind::Pipe}) {
        sim::SimWindows machine;
        machine.SetStdKind(StdOutputHandle, kind);
        const std::string out = testing::RunProgram(machine, "z /LIST", "\r\n").out;
        const auto writes = machine.StdoutWrites();
        ASSERT_GT(writes.size(), 3u);
        for (std::size_t i = 0; i + 1 < writes.size(); ++i) {  // a console: one text a write
            EXPECT_TRUE(kind == StdKind::Console ? writes[i].back() == '\n'
                                                 : writes[i].size() == 128);
        }
        if (kind == StdKind::Console) console = out;
        EXPECT_EQ(out, console);  // nothing lost at the end
        // The pause's read writes out nothing: a file or pipe gets its last bytes at the end.
        const auto names = machine.JournalNames();
        const auto read = std::find(names.begin(), names.end(), "ReadFile");
        EXPECT_EQ(std::count(read, names.end(), "WriteFile"), kind == StdKind::Console ? 0 : 1);
    }
}

}  // namespace
}  // namespace zorvane
